// Definitions made from the wizard's answers, written as whole sections, and copied between
// configuration files.

#include "app/NewDefinition.h"

#include "support/IniProfile.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class NewDefinitionTest : public ::testing::Test {
protected:
    NewDefinitionTest() : m_factory(&m_quiet) { m_quiet.SetLevel(CKSLogger::kLevelNone); }

    CKSString Value(const std::string& file, std::u16string_view section, std::u16string_view key) const {
        return CIniProfile::GetString(CKSString::FromUtf8(file), section, key, u"<missing>");
    }
    bool Write(const std::string& file, const NewDefinitionAnswers& answers, CKSError* error = nullptr) {
        const auto generator = BuildDefinition(m_factory, answers);
        if (!generator) {
            return false;
        }
        const CKSError written =
            WriteDefinition(CKSString::FromUtf8(file), answers.name.View(), generator->GetProperties());
        if (error != nullptr) {
            *error = written;
        }
        return !written.Failed();
    }

    TempDir m_dir;
    CKSLogger m_quiet;
    CKSFileGeneratorFactory m_factory;
};

TEST_F(NewDefinitionTest, AmountsMultiplyByTheUnitAndOneNumberGivesAnExactSize) {
    EXPECT_EQ(AmountRange({5, 9, false, 2}), CKSRange(5120, 5120));
    EXPECT_EQ(AmountRange({1024, 2048, true, 0}), CKSRange(1024, 2048));
    EXPECT_EQ(AmountRange({3, 4, true, 3}), CKSRange(3LL << 20, 4LL << 20));
    // A list without units, or a row past the table, multiplies by 1.
    EXPECT_EQ(AmountRange({8, 80, true, SIZE_MAX}), CKSRange(8, 80));
    // 32,767 terabytes still fits; a product past the signed range saturates instead of wrapping.
    EXPECT_EQ(AmountRange({32767, 32767, false, 5}).max, 32767LL * 1099511627776LL);
    EXPECT_EQ(AmountRange({UINT64_MAX / 2, 0, false, 5}).min, INT64_MAX);
}

TEST_F(NewDefinitionTest, TheDefaultTextAnswersWriteTheExpectedSection) {
    const std::string file = m_dir.File("fakemill.ini");
    NewDefinitionAnswers answers;
    answers.name = u"batch77";
    answers.folder = u"/data/fkmfiles";
    ASSERT_TRUE(Write(file, answers));
    EXPECT_EQ(Value(file, u"batch77", u"Type").View(), u"txt");
    EXPECT_EQ(Value(file, u"batch77", u"Files").View(), u"1,1");
    EXPECT_EQ(Value(file, u"batch77", u"Folder").View(), u"/data/fkmfiles");
    EXPECT_EQ(Value(file, u"batch77", u"Size").View(), u"1KB,2KB");
    EXPECT_EQ(Value(file, u"batch77", u"TextType").View(), u"2");
    EXPECT_EQ(Value(file, u"batch77", u"WinLineEnding").View(), u"0");
    // Keys the wizard does not ask about keep their defaults.
    EXPECT_EQ(Value(file, u"batch77", u"LineLength").View(), u"60,90");

    const auto generator = BuildDefinition(m_factory, answers);
    const std::u16string summary = DefinitionSummary(*generator);
    EXPECT_EQ(summary.rfind(u"batch77 Properties \r\n------------------------\r\n", 0), 0u);
    EXPECT_NE(summary.find(u"RANGE: 1024, 2048\r\n"), std::u16string::npos);
}

TEST_F(NewDefinitionTest, EachKindStoresItsOwnAnswers) {
    const std::string file = m_dir.File("fakemill.ini");
    NewDefinitionAnswers csv;
    csv.name = u"table";
    csv.kind = u"csv";
    csv.columns = {4, 1, 4};
    csv.emitHeader = true;
    ASSERT_TRUE(Write(file, csv));
    EXPECT_EQ(Value(file, u"table", u"Rows").View(), u"8,80");
    EXPECT_EQ(Value(file, u"table", u"Columns").View(), u"4, 1, 4");
    EXPECT_EQ(Value(file, u"table", u"EmitHeader").View(), u"1");
    EXPECT_EQ(Value(file, u"table", u"Size").View(), u"<missing>");

    NewDefinitionAnswers image;
    image.name = u"pictures";
    image.kind = u"img";
    image.imageType = u"gif";
    image.width = 300;
    ASSERT_TRUE(Write(file, image));
    EXPECT_EQ(Value(file, u"pictures", u"ImageType").View(), u"gif");
    EXPECT_EQ(Value(file, u"pictures", u"Width").View(), u"300,300");
    EXPECT_EQ(Value(file, u"pictures", u"Height").View(), u"512,512");
    EXPECT_EQ(Value(file, u"pictures", u"Elements").View(), u"19,19");

    NewDefinitionAnswers binary;
    binary.name = u"blobs";
    binary.kind = u"bin";
    binary.size = {5, 0, false, 2};
    ASSERT_TRUE(Write(file, binary));
    EXPECT_EQ(Value(file, u"blobs", u"Size").View(), u"5KB,5KB");
    EXPECT_EQ(Value(file, u"blobs", u"TextType").View(), u"<missing>");
}

TEST_F(NewDefinitionTest, ReplacingADefinitionDropsTheKeysOfTheOldOne) {
    const std::string file = m_dir.File("fakemill.ini");
    WriteFileBytes(file,
                   "[Keep]\nType=bin\n[Mixed]\nType=txt\nTextType=4\nNumbersInText=1\n[After]\nType=bin\n");
    NewDefinitionAnswers answers;
    answers.name = u"mixed";
    answers.kind = u"bin";
    EXPECT_TRUE(DefinitionExists(CKSString::FromUtf8(file), u"MIXED"));
    ASSERT_TRUE(Write(file, answers));
    EXPECT_EQ(Value(file, u"Mixed", u"Type").View(), u"bin");
    EXPECT_EQ(Value(file, u"Mixed", u"TextType").View(), u"<missing>");
    EXPECT_EQ(Value(file, u"Mixed", u"NumbersInText").View(), u"<missing>");
    EXPECT_EQ(CIniProfile::GetSectionNames(CKSString::FromUtf8(file)).size(), 3u);
    EXPECT_EQ(Value(file, u"After", u"Type").View(), u"bin");
}

TEST_F(NewDefinitionTest, BadAnswersAreRefusedWithAReasonAndNothingIsWritten) {
    for (const std::u16string_view name : {u"", u"   ", u"a[b", u"a]b", u"two\nlines", u"cr\rhere"}) {
        EXPECT_FALSE(CheckDefinitionName(name).empty());
    }
    EXPECT_TRUE(CheckDefinitionName(u"batch 12").empty());

    NewDefinitionAnswers answers;
    answers.name = u"ok";
    EXPECT_TRUE(CheckKindAnswers(answers).empty());
    answers.size = {4096, 1024, true, 0};
    EXPECT_FALSE(CheckKindAnswers(answers).empty());
    // With one number the second does not count.
    answers.size.range = false;
    EXPECT_TRUE(CheckKindAnswers(answers).empty());
    answers.kind = u"csv";
    EXPECT_FALSE(CheckKindAnswers(answers).empty());
    answers.columns = {1};
    EXPECT_TRUE(CheckKindAnswers(answers).empty());
    answers.rows = {9, 3, true, SIZE_MAX};
    EXPECT_FALSE(CheckKindAnswers(answers).empty());

    // A name refused by the INI layer, a folder that cannot hold the file: the file is untouched.
    const std::string file = m_dir.File("fakemill.ini");
    WriteFileBytes(file, "[Keep]\nType=bin\n");
    NewDefinitionAnswers bad;
    bad.name = u"x]y";
    CKSError error;
    EXPECT_FALSE(Write(file, bad, &error));
    EXPECT_TRUE(error.Failed());
    EXPECT_FALSE(error.Reason().empty());
    EXPECT_EQ(ReadFileBytes(file), "[Keep]\nType=bin\n");
    bad.name = u"fine";
    const std::string unwritable = m_dir.File("fakemill.ini/inside.ini");
    EXPECT_FALSE(Write(unwritable, bad, &error));
    // What failed, on which file, and why: the window shows each part.
    EXPECT_EQ(error.What(), u"Could not write the definition \"fine\" to");
    EXPECT_EQ(error.File().ToUtf8(), unwritable);
    EXPECT_FALSE(error.Reason().empty());
    // A CSV without columns has no value to write: refused before anything is written.
    bad.kind = u"csv";
    EXPECT_FALSE(Write(file, bad, &error));
    EXPECT_EQ(error.Reason(), u"Columns needs a value (it has no default)");
    EXPECT_EQ(ReadFileBytes(file), "[Keep]\nType=bin\n");

    // Deleting names the definition and the file when the file cannot be read.
    const std::string folder = m_dir.File("folder.ini");
    std::filesystem::create_directory(folder);
    const CKSError refused = DeleteDefinition(CKSString::FromUtf8(folder), u"Keep");
    EXPECT_TRUE(refused.Failed());
    EXPECT_EQ(refused.What(), u"Could not delete the definition \"Keep\" from");
    EXPECT_EQ(refused.File().ToUtf8(), folder);
    EXPECT_FALSE(DeleteDefinition(CKSString::FromUtf8(file), u"keep").Failed());
    EXPECT_EQ(Value(file, u"Keep", u"Type").View(), u"<missing>");
}

TEST_F(NewDefinitionTest, CopiedDefinitionsReplaceAnExistingNameOnlyWhenAllowed) {
    const std::string from = m_dir.File("other.ini");
    const std::string to = m_dir.File("fakemill.ini");
    WriteFileBytes(from, "[Alpha]\nType=bin\nSize=7KB\n[Beta]\nType=csv\nColumns=1, 3\n[Junk]\nType=none\n");
    WriteFileBytes(to, "[beta]\nType=txt\nTextType=4\n");
    std::vector<CKSString> asked;
    bool allow = false;
    const auto replace = [&](const CKSString& name) {
        asked.push_back(name);
        return allow;
    };
    std::vector<CKSError> failures;
    const CKSString source = CKSString::FromUtf8(from);
    const CKSString target = CKSString::FromUtf8(to);
    auto copied = CopyDefinitions(m_factory, source, target, {u"Alpha", u"Beta", u"Junk"}, replace, failures);
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0].View(), u"Alpha");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].View(), u"Beta");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].Text().rfind(u"Junk: ", 0), 0u);
    EXPECT_EQ(Value(to, u"Alpha", u"Size").View(), u"7KB,7KB");
    EXPECT_EQ(Value(to, u"beta", u"TextType").View(), u"4");

    allow = true;
    failures.clear();
    copied = CopyDefinitions(m_factory, source, target, {u"Beta"}, replace, failures);
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(Value(to, u"beta", u"Type").View(), u"csv");
    EXPECT_EQ(Value(to, u"beta", u"Columns").View(), u"1, 3");
    EXPECT_EQ(Value(to, u"beta", u"TextType").View(), u"<missing>");
}

TEST_F(NewDefinitionTest, ADefinitionReadWithARefusedValueIsNotCopied) {
    const std::string from = m_dir.File("other.ini");
    const std::string to = m_dir.File("fakemill.ini");
    WriteFileBytes(from,
                   "[Up]\nType=bin\nPrefix=../up\n[Units]\nType=bin\nSize=3Q\n[Fine]\nType=bin\nSize=5GiB\n");
    WriteFileBytes(to, "");
    std::vector<CKSError> failures;
    const auto copied = CopyDefinitions(
        m_factory, CKSString::FromUtf8(from), CKSString::FromUtf8(to), {u"Up", u"Units", u"Fine"},
        [](const CKSString&) { return true; }, failures);
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(Value(to, u"Fine", u"Size").View(), u"5GB,5GB");
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].Text(),
              u"Up: Prefix=../up cannot be used: a part of a file name cannot hold the path separator \"/\"");
    EXPECT_EQ(failures[1].Text().rfind(u"Units: Size=3Q cannot be used: \"Q\" is not a unit", 0), 0u);
}

TEST_F(NewDefinitionTest, TypedValuesReadBackInTheFileSyntaxAndListsAreReplaced) {
    const auto generator = m_factory.CreateForKind(u"csv");
    CKSPropertyList& properties = generator->GetProperties();
    CKSString shown;
    ASSERT_TRUE(ReadBackValue(properties.Get(u"Rows"), u"1K:64KB", shown));
    EXPECT_EQ(shown.View(), u"1K,64KB");
    SetValueFromText(properties.Get(u"Columns"), u"1, 3");
    SetValueFromText(properties.Get(u"Columns"), u"5");
    ASSERT_TRUE(properties.Get(u"Columns").FormatValue(shown));
    EXPECT_EQ(shown.View(), u"5");
    EXPECT_FALSE(ReadBackValue(properties.Get(u"Columns"), u"", shown));
}

} // namespace
