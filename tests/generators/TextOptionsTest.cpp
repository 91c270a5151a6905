// Text and tables in other encodings, with other line ends and ISO dates; CSV in the rfc4180
// style read back by a strict reader; damage written into text and tables, recorded so that the
// undamaged file can be rebuilt from the damaged one.

#include "generators/TextOptions.h"
#include "engine/KSBatchManifest.h"
#include "generators/KSCSVFileGenerator.h"
#include "tests/common/GeneratorFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>

namespace {

using CMade = GeneratorFixture::Recorded;

CMade Make(std::u16string_view kind, GeneratorFixture::Values values, std::uint32_t seed = 5) {
    GeneratorFixture fixture;
    return fixture.MakeRecorded(kind, values, seed);
}

// The damaged bytes with each change undone; a change whose original was too long to record
// takes it from the undamaged file, where it stands at the same offset.
std::string Undo(std::string bytes, const std::vector<CByteChange>& changes, const std::string& undamaged) {
    for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
        const std::string original = change->original.size() == change->length
                                         ? change->original
                                         : undamaged.substr(change->offset, change->length);
        bytes.replace(change->offset, change->written.size(), original);
    }
    return bytes;
}

// The text in UTF-8 through Qt's decoders, which know nothing of ours; empty when the bytes are
// not text in that encoding.
std::string Decoded(const std::string& bytes, QStringConverter::Encoding encoding) {
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return decoder.hasError() ? std::string() : text.toStdString();
}

std::string ShellOutput(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        out += buffer;
    }
    return out;
}

// A CSV generator that keeps every field as a reader should get it back.
class CRecordingCsv : public CKSCSVFileGenerator {
public:
    using CKSCSVFileGenerator::CKSCSVFileGenerator;
    std::vector<std::vector<std::string>> rows;

protected:
    void OnField(std::string_view value) override {
        if (rows.empty() || rows.back().size() == columns) {
            rows.emplace_back();
        }
        rows.back().emplace_back(value);
    }

public:
    std::size_t columns = 0;
};

} // namespace

TEST(TextOptions, EncodingsHoldTheSameTextAndLineEndsAreWhatWasChosen) {
    // The UTF-16 files hold one text, in either byte order, with or without a mark, and hold
    // characters outside the BMP as surrogate pairs; UTF-8 with a mark and Latin-1 decode.
    const std::string le = Make(u"txt", {{u"Encoding", u"utf16le"}, {u"Size", u"4K"}}).bytes;
    const std::string be = Make(u"txt", {{u"Encoding", u"utf16be"}, {u"Size", u"4K"}}).bytes;
    const std::string leMark = Make(u"txt", {{u"Encoding", u"utf16le-bom"}, {u"Size", u"4K"}}).bytes;
    const std::string text = Decoded(le, QStringConverter::Utf16LE);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(Decoded(be, QStringConverter::Utf16BE), text);
    EXPECT_EQ(leMark.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Decoded(leMark.substr(2), QStringConverter::Utf16LE), text);
    EXPECT_NEAR(static_cast<double>(le.size()), 4000.0, 400.0); // Size counts the file's bytes
    EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }));

    const std::string utf8 = Make(u"txt", {{u"Encoding", u"utf8-bom"}}).bytes;
    EXPECT_EQ(utf8.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_TRUE(IsValidUtf8(utf8));
    const std::string latin = Make(u"txt", {{u"Encoding", u"latin1"}}).bytes;
    EXPECT_FALSE(IsValidUtf8(latin)); // its accented letters are single bytes
    EXPECT_NE(Decoded(latin, QStringConverter::Latin1).find("\xC3"), std::string::npos);

    // Line ends: one kind throughout, or all three mixed; dates in ISO 8601.
    const std::string cr = Make(u"txt", {{u"LineEnd", u"cr"}, {u"Size", u"3K"}}).bytes;
    EXPECT_EQ(cr.find('\n'), std::string::npos);
    EXPECT_GT(std::count(cr.begin(), cr.end(), '\r'), 20);
    const std::string lf = Make(u"txt", {{u"LineEnd", u"lf"}, {u"WinLineEnding", u"1"}}).bytes;
    EXPECT_EQ(lf.find('\r'), std::string::npos);
    const std::string mixed = Make(u"txt", {{u"LineEnd", u"mixed"}, {u"Size", u"6K"}}).bytes;
    EXPECT_NE(mixed.find("\r\n"), std::string::npos);
    EXPECT_TRUE(std::regex_search(mixed, std::regex("[^\r]\n")));
    EXPECT_TRUE(std::regex_search(mixed, std::regex("\r[^\n]")));
    const std::string dated =
        Make(u"txt", {{u"DateFormat", u"iso"}, {u"DatesInText", u"1"}, {u"Size", u"20K"}}).bytes;
    EXPECT_TRUE(std::regex_search(dated, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")));
}

TEST(TextOptions, DamageInTextIsRecordedWhereTheEncodingPutIt) {
    for (const std::u16string_view encoding : {u"utf8", u"utf8-bom", u"utf16be"}) {
        const CMade clean = Make(u"txt", {{u"Encoding", encoding}, {u"Size", u"4K"}});
        for (const std::u16string_view name : {u"nul", u"invalid-utf8", u"long-line", u"mixed-eol"}) {
            if (name == u"invalid-utf8" && encoding == u"utf16be") {
                continue; // refused: UTF-16 cannot hold those bytes
            }
            const CMade damaged =
                Make(u"txt", {{u"Encoding", encoding}, {u"Size", u"4K"}, {u"Damage", name}});
            ASSERT_TRUE(damaged.damage) << Utf16ToUtf8(name);
            for (const CByteChange& change : damaged.damage->changes) {
                EXPECT_EQ(damaged.bytes.substr(change.offset, change.written.size()), change.written)
                    << Utf16ToUtf8(encoding) << " " << Utf16ToUtf8(name);
            }
            if (name == u"nul") {
                EXPECT_EQ(damaged.damage->changes[0].written,
                          encoding == u"utf16be" ? std::string(2, '\0') : std::string(1, '\0'));
            }
            if (name == u"long-line") {
                EXPECT_GE(damaged.bytes.size(), clean.bytes.size() + 1024 * 1024);
            } else if (name != u"mixed-eol") {
                // Damage put in takes nothing away: without it, the file is the undamaged one.
                EXPECT_EQ(Undo(damaged.bytes, damaged.damage->changes, clean.bytes), clean.bytes)
                    << Utf16ToUtf8(name);
            }
            EXPECT_EQ(damaged.damage->outcome == EReaderOutcome::Fails, name == u"invalid-utf8");
        }
    }
    // A class that cannot be written in the encoding is refused, with the reason.
    GeneratorFixture fixture;
    auto refused = fixture.Make(u"txt");
    GeneratorFixture::Set(*refused, u"Encoding", u"latin1");
    GeneratorFixture::Set(*refused, u"Damage", u"invalid-utf8");
    refused->Run();
    EXPECT_TRUE(fixture.Output().Contains("Damage=invalid-utf8 needs Encoding utf8 or utf8-bom"));
    EXPECT_TRUE(fixture.Files().empty());
}

TEST(TextOptions, Rfc4180TablesReadBackByAStrictReaderToTheFieldsWritten) {
    for (const std::u16string_view separator : {u",", u" ; "}) {
        GeneratorFixture fixture;
        CRecordingCsv generator(&fixture.Logger());
        fixture.Prepare(generator, u"csv");
        GeneratorFixture::Set(generator, u"Style", u"rfc4180");
        GeneratorFixture::Set(generator, u"Separator", separator);
        GeneratorFixture::Set(generator, u"Columns", u"1,3,4,5,6,7,8,9,10,11,12,2");
        GeneratorFixture::Set(generator, u"Rows", u"300");
        GeneratorFixture::Set(generator, u"EmitHeader", u"1");
        GeneratorFixture::Set(generator, u"DateFormat", u"iso");
        GeneratorFixture::Set(generator, u"SimpleName", u"1");
        generator.columns = 12;
        generator.SetSeed(17);
        generator.Run();
        ASSERT_EQ(fixture.Files().size(), 1u) << fixture.Output().All();
        const std::string path = fixture.Dir().File(*fixture.Files().begin());
        const std::string bytes = ReadFileBytes(path);
        EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")),
                  separator == u","
                      ? "month,word,number,date,email,card,sentence,integer,decimal,boolean,uuid,empty"
                      : "month;word;number;date;email;card;sentence;integer;decimal;boolean;uuid;empty");
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 301);
        const std::string delimiter = separator == u"," ? "," : ";";
        const std::string json =
            ShellOutput("/usr/bin/python3 -c \"import csv, json, sys; print(json.dumps(list(csv.reader("
                        "open(sys.argv[1], newline='', encoding='utf-8'), strict=True, delimiter='" +
                        delimiter + "'))))\" '" + path + "'");
        const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(json)).array();
        ASSERT_EQ(rows.size(), 301) << json.substr(0, 300);
        ASSERT_EQ(generator.rows.size(), 300u);
        for (std::size_t r = 0; r < 300; ++r) {
            const QJsonArray row = rows[static_cast<qsizetype>(r + 1)].toArray();
            ASSERT_EQ(row.size(), 12);
            for (std::size_t c = 0; c < 12; ++c) {
                ASSERT_EQ(row[static_cast<qsizetype>(c)].toString().toStdString(), generator.rows[r][c])
                    << "row " << r << " column " << c;
            }
        }
        // Every field a reader gets is unpadded, and the quoting was needed somewhere.
        EXPECT_NE(bytes.find('"'), std::string::npos);
        EXPECT_TRUE(std::regex_match(generator.rows[0][3], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")));
        EXPECT_TRUE(std::regex_match(generator.rows[0][10], std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-"
                                                                       "[89ab][0-9a-f]{3}-[0-9a-f]{12}")));
    }
}

TEST(TextOptions, DamageInTablesIsRecordedSoThatTheTableCanBeRebuilt) {
    const GeneratorFixture::Values table = {
        {u"Rows", u"40"}, {u"Columns", u"1,3,4,5"}, {u"EmitHeader", u"1"}};
    const CMade clean = Make(u"csv", table);
    for (const std::u16string_view name : {u"quote", u"ragged", u"mixed-eol", u"bom", u"invalid-utf8"}) {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            GeneratorFixture::Values values = {
                {u"Rows", u"40"}, {u"Columns", u"1,3,4,5"}, {u"EmitHeader", u"1"}, {u"Damage", name}};
            const CMade undamaged = Make(u"csv", table, seed);
            const CMade damaged = Make(u"csv", values, seed);
            ASSERT_TRUE(damaged.damage) << Utf16ToUtf8(name);
            EXPECT_EQ(Undo(damaged.bytes, damaged.damage->changes, undamaged.bytes), undamaged.bytes)
                << Utf16ToUtf8(name);
            EXPECT_EQ(damaged.damage->rows, 41u);
            if (name == u"bom") {
                EXPECT_EQ(damaged.bytes.substr(0, 3), "\xEF\xBB\xBF");
            }
        }
    }
    EXPECT_FALSE(clean.damage);

    // A table without rows: a class that needs a row (ragged) finds none and the file is not
    // declared damaged; the others write their bytes anyway, and the record shows where.
    for (const std::u16string_view name : {u"quote", u"ragged", u"invalid-utf8"}) {
        const CMade empty = Make(u"csv", {{u"Rows", u"0"}, {u"Columns", u"1,3"}, {u"Damage", name}});
        EXPECT_EQ(empty.damage.has_value(), name != u"ragged") << Utf16ToUtf8(name);
        if (!empty.damage) {
            EXPECT_TRUE(empty.bytes.empty());
            continue;
        }
        ASSERT_FALSE(empty.damage->changes.empty());
        for (const CByteChange& change : empty.damage->changes) {
            EXPECT_EQ(empty.bytes.substr(change.offset, change.written.size()), change.written);
        }
    }
}
