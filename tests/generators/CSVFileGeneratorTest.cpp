#include "engine/StopEvent.h"
#include "generators/KSCSVFileGenerator.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

namespace {

std::vector<std::string>
MakeCsv(GeneratorFixture& fixture,
        std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> values) {
    auto generator = fixture.Make(u"csv");
    for (const auto& [name, value] : values) {
        GeneratorFixture::Set(*generator, name, value);
    }
    generator->Run();
    const auto files = fixture.Files();
    EXPECT_EQ(files.size(), 1u) << fixture.Output().All();
    const std::string text = files.empty() ? std::string() : fixture.Read(*files.begin());
    EXPECT_TRUE(text.empty() || text.back() == '\n');
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(CsvGenerator, RowsAreCountedAndTheHeaderNamesColumnsFromOne) {
    GeneratorFixture fixture;
    const auto lines =
        MakeCsv(fixture, {{u"Rows", u"1000"}, {u"Columns", u"1, 3, 4, 5"}, {u"EmitHeader", u"1"}});
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines[0], "Column 1, Column 2, Column 3, Column 4");
    const std::regex row(R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec), [a-z]+ , \d+ , .+)");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        ASSERT_TRUE(std::regex_match(lines[i], row)) << lines[i];
        ASSERT_EQ(lines[i].find('\r'), std::string::npos);
    }
}

TEST(CsvGenerator, SeparatorAndEmptyFields) {
    GeneratorFixture fixture;
    const auto lines = MakeCsv(fixture, {{u"Rows", u"50"}, {u"Columns", u"1,2,3"}, {u"Separator", u";"}});
    ASSERT_EQ(lines.size(), 50u);
    const std::regex row(R"([A-Z][a-z]{2};;[a-z]+ )");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, row)) << line;
    }
    GeneratorFixture none;
    const auto empty = MakeCsv(none, {{u"Rows", u"7"}});
    EXPECT_EQ(empty, std::vector<std::string>(7, ""));
}

TEST(CsvGenerator, TheStopRequestDoesNotCutAFileShort) {
    GeneratorFixture fixture;
    ApplicationStopEvent().Set();
    const auto lines = MakeCsv(fixture, {{u"Rows", u"300"}, {u"Columns", u"4"}});
    ApplicationStopEvent().Reset();
    EXPECT_EQ(lines.size(), 300u);
}
