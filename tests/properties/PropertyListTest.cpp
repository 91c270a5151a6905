#include "generators/KSFileGeneratorFactory.h"
#include "properties/KSPropertyList.h"
#include "support/IniProfile.h"
#include "support/KSException.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

namespace {

CKSPropertyList SampleList() {
    const CKSProperty size(u"Size", u"How many bytes to generate", CKSRange(1000, 10000));
    const CKSProperty type(u"Type", u"Type of files to generate", u"bin");
    const CKSBoolProperty crc(u"CRC", u"Generate and add CRC", false);
    const CKSProperty* table[] = {&size, &type, &crc};
    return CKSPropertyList(table);
}

// A binary definition with every default, as the factory builds it for a new definition.
std::unique_ptr<CKSFileGenerator> NewBinaryDefinition() {
    CKSFileGeneratorFactory factory(nullptr);
    return factory.CreateForKind(u"bin");
}

} // namespace

TEST(PropertyList, LookupIgnoresCaseAndBlanksAndReportsMisses) {
    CKSPropertyList list = SampleList();
    for (const char16_t* name : {u"size", u"SIZE", u"Size", u"Si ze", u"Size ", u"\tsize\r\n"}) {
        EXPECT_EQ(list.Get(name).GetName().ToUtf8(), "Size") << Utf16ToUtf8(name);
    }
    try {
        list.Get(u"Width");
        FAIL() << "no exception";
    } catch (const CKSException& missing) {
        EXPECT_EQ(missing.ToUtf8(), "Property not found: Width");
    }
    EXPECT_EQ(list.Count(), 3u); // a failed lookup leaves the list unchanged
}

TEST(PropertyList, AddReplacesAPropertyOfTheSameNameAndKeepsTheListInNameOrder) {
    CKSPropertyList list = SampleList();
    const CKSProperty sameName(u"S ize", u"replaced", CKSRange(3, 4));
    const CKSProperty first(u"Alpha", u"a", u"x");
    const CKSProperty last(u"zeta", u"z", u"y");
    const CKSProperty between(u"Depth", u"d", u"w");
    for (const CKSProperty* property : {&sameName, &last, &first, &between}) {
        list.Add(*property);
    }
    EXPECT_EQ(list.Count(), 6u);
    EXPECT_EQ(list.Get(u"size").GetRangeValue(), CKSRange(3, 4));
    std::vector<std::string> order;
    list.ForEachProperty(
        [&order](const CKSProperty& property) { order.push_back(property.GetName().ToUtf8()); });
    EXPECT_EQ(order, (std::vector<std::string>{"Alpha", "CRC", "Depth", "S ize", "Type", "zeta"}));
}

TEST(PropertyList, CopiesOwnTheirPropertiesAndCopyValuesTakesOnlyKnownNames) {
    CKSPropertyList original = SampleList();
    CKSPropertyList copy(original);
    copy.Get(u"Size").SetRangeValue(CKSRange(1, 2));
    EXPECT_EQ(original.Get(u"Size").GetRangeValue(), CKSRange(1000, 10000));

    const CKSProperty width(u"Width", u"w", CKSRange(5, 6));
    const CKSProperty size(u"size", u"other", CKSRange(7, 8));
    const CKSProperty* table[] = {&width, &size};
    original.CopyValuesFrom(CKSPropertyList(table));
    EXPECT_EQ(original.Get(u"Size").GetRangeValue(), CKSRange(7, 8));
    EXPECT_EQ(original.Find(u"Width"), nullptr);
    EXPECT_EQ(original.Get(u"Type").GetValue().ToUtf8(), "bin");
}

TEST(PropertyList, NewBinaryDefinitionIsWrittenInNameOrderWithCrLf) {
    TempDir dir;
    const std::string path = dir.File("fakemill.ini");
    auto definition = NewBinaryDefinition();
    ASSERT_TRUE(definition);
    ASSERT_TRUE(definition->GetProperties().WriteToFile(CKSString::FromUtf8(path), u"Random binary"));
    EXPECT_EQ(ReadFileBytes(path), "[Random binary]\r\n"
                                   "BigEndian=0\r\n"
                                   "CRC=0\r\n"
                                   "Damage=\r\n"
                                   "DamageShare=100\r\n"
                                   "Extension=\r\n"
                                   "Files=1,1\r\n"
                                   "Folder=\r\n"
                                   "Names=plain\r\n"
                                   "Prefix=fk\r\n"
                                   "Quick=0\r\n"
                                   "Sequence=0,0\r\n"
                                   "SimpleName=0\r\n"
                                   "Size=1K,10K\r\n"
                                   "SubType=\r\n"
                                   "Type=bin\r\n"
                                   "Zeros=0,0\r\n");
}

TEST(PropertyList, ReadingKeepsDefaultsForMissingKeysAndIgnoresUnknownOnes) {
    TempDir dir;
    const std::string path = dir.File("fakemill.ini");
    WriteFileBytes(path, "[only type]\nType=bin\n[extra]\nType=bin\nSize=4K\nColour=blue\nPrefix=\n");
    CKSFileGeneratorFactory factory(nullptr);
    auto onlyType = factory.CreateFromSection(CKSString::FromUtf8(path), u"only type");
    ASSERT_TRUE(onlyType);
    auto defaults = NewBinaryDefinition();
    defaults->GetProperties().ForEachProperty([&](const CKSProperty& expected) {
        CKSString read;
        CKSString wanted;
        onlyType->GetProperties().Get(expected.GetName()).FormatValue(read);
        expected.FormatValue(wanted);
        EXPECT_EQ(read.ToUtf8(), wanted.ToUtf8()) << expected.GetName().ToUtf8();
    });

    auto extra = factory.CreateFromSection(CKSString::FromUtf8(path), u"EXTRA");
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->GetProperties().Get(u"Size").GetRangeValue(), CKSRange(4000, 4000));
    EXPECT_EQ(extra->GetProperties().Get(u"Prefix").GetValue().ToUtf8(), "fk"); // "Prefix=" keeps the default
    EXPECT_EQ(extra->GetProperties().Find(u"Colour"), nullptr);
}

TEST(PropertyList, WriteIsAllOrNothing) {
    TempDir dir;
    const std::string path = dir.File("fakemill.ini");
    const std::string before = "; my definitions\r\n[keep]\r\nType=bin\r\n";
    WriteFileBytes(path, before);

    // An empty list has nothing to write: the whole section is refused, not half written.
    const CKSProperty header(u"EmitHeader", u"Use header", std::int64_t{0});
    const CKSListProperty columns(u"Columns", u"Column definitions");
    const CKSProperty rows(u"Rows", u"Maximum rows to generate", CKSRange(1000, 10000));
    const CKSProperty* table[] = {&header, &columns, &rows};
    std::u16string error;
    EXPECT_FALSE(CKSPropertyList(table).WriteToFile(CKSString::FromUtf8(path), u"csv", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileBytes(path), before);

    // A name that would open a second section is refused too.
    EXPECT_FALSE(SampleList().WriteToFile(CKSString::FromUtf8(path), u"x]\r\n[y"));
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(CIniProfile::GetSectionNames(CKSString::FromUtf8(path)).size(), 1u);

    // A value with a line break in it is refused as well.
    CKSPropertyList list = SampleList();
    list.Get(u"Type").SetTextValue(u"bin\r\n[z]");
    EXPECT_FALSE(list.WriteToFile(CKSString::FromUtf8(path), u"fine"));
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(PropertyList, ValuesRoundTripThroughTheFile) {
    TempDir dir;
    const CKSString path = CKSString::FromUtf8(dir.File("fakemill.ini"));
    CKSListProperty columns(u"Columns", u"Column definitions");
    columns.ParseList(u"1, 3, 4, 5");
    CKSProperty limit(u"Limit", u"A limit", std::int64_t{0});
    limit.SetLimitValue(CKSLimit(65536, 1));
    CKSProperty big(u"Big", u"A big number", std::int64_t{-3145728});
    const CKSProperty* table[] = {&columns, &limit, &big};
    ASSERT_TRUE(CKSPropertyList(table).WriteToFile(path, u"round"));

    CKSListProperty columnsRead(u"Columns", u"");
    CKSProperty limitRead(u"Limit", u"", std::int64_t{0});
    limitRead.SetLimitValue(CKSLimit());
    CKSProperty bigRead(u"Big", u"", std::int64_t{0});
    const CKSProperty* readTable[] = {&columnsRead, &limitRead, &bigRead};
    CKSPropertyList read(readTable);
    read.ReadFromFile(path, u"round");
    CKSString text;
    read.Get(u"Columns").FormatList(text);
    EXPECT_EQ(text.ToUtf8(), "1, 3, 4, 5");
    EXPECT_EQ(read.Get(u"Limit").GetLimitValue(), CKSLimit(65536, 1));
    EXPECT_EQ(read.Get(u"Big").GetLongValue64(), -3145728);
}
