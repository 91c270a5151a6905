#include "app/FKMController.h"
#include "app/KSGeneratorBatch.h"
#include "generators/KSFileGeneratorFactory.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

// A configuration file with three small binary definitions and one section that is not one.
CKSString WriteConfig(const TempDir& dir) {
    const std::string path = dir.File("fakemill.ini");
    WriteFileBytes(path, "[one]\nType=bin\nSize=100\nSimpleName=1\n"
                         "[two]\nType=bin\nSize=200\nSimpleName=1\nFolder=second\n"
                         "[three]\nType=bin\nSize=300\nSimpleName=1\nPrefix=third\n"
                         "[notes]\nwhatever=1\n");
    return CKSString::FromUtf8(path);
}

std::vector<CKSString> Names(std::initializer_list<const char16_t*> names) {
    std::vector<CKSString> list;
    for (const char16_t* name : names) {
        list.emplace_back(name);
    }
    return list;
}

} // namespace

TEST(BatchName, OneOrSeveralDefinitions) {
    EXPECT_EQ(CBatchName(Names({u"one"})).ToUtf8().rfind("'one' started ", 0), 0u);
    const std::string several = CBatchName(Names({u"a", u"b", u"c"})).ToUtf8();
    EXPECT_EQ(several.rfind("'a+' (3 total) started ", 0), 0u) << several;
    EXPECT_TRUE(CBatchName({}).IsEmpty());
    const std::u16string longName(300, u'x');
    EXPECT_EQ(CBatchName(Names({longName.c_str()})).Length(), 239u); // the larger buffer cuts it
}

TEST(RunBatch, RunsEveryDefinitionAndReportsTheOnesThatFail) {
    TempDir config;
    TempDir destination;
    auto output = std::make_shared<CapturingOutput>();
    CKSGeneratorBatch batch(Names({u"one", u"missing", u"two", u"notes", u"three"}), WriteConfig(config),
                            CKSString::FromUtf8(destination.Path().string()), output, CBatchOptions{0, 1});
    CKSLogger logger;
    logger.SetLevel(CKSLogger::kLevelInfo);
    const CKSFileGeneratorFactory factory(&logger);
    EXPECT_TRUE(RunBatch(&batch, factory, logger));

    EXPECT_EQ(output->Count("Starting '"), 5) << output->All();
    EXPECT_TRUE(output->Contains("WARNING:Could not initialize 'missing' from ["));
    EXPECT_TRUE(output->Contains("WARNING:Could not initialize 'notes' from ["));
    EXPECT_TRUE(output->Contains("5 generators finished ")); // the names asked for, not those that ran
    EXPECT_TRUE(std::filesystem::exists(destination.Path() / "fkbin0.bin"));
    EXPECT_TRUE(std::filesystem::exists(destination.Path() / "second" / "fkbin0.bin"));
    EXPECT_TRUE(std::filesystem::exists(destination.Path() / "thirdbin0.bin"));

    const CKSBatchInfo info(batch);
    ASSERT_EQ(info.GetFolders().size(), 3u);
    EXPECT_EQ(info.GetFolders()[1].first.ToUtf8(), (destination.Path() / "second").string());
    EXPECT_EQ(info.GetFolders()[1].second.ToUtf8(), "two");
}

TEST(RunBatch, ANameGivenAgainInAnyCaseOrSpacingIsMadeOnceUnderItsFirstSpelling) {
    TempDir config;
    TempDir destination;
    auto output = std::make_shared<CapturingOutput>();
    CKSGeneratorBatch batch(Names({u"two", u"one", u" TWO ", u"three", u"One", u"two"}), WriteConfig(config),
                            CKSString::FromUtf8(destination.Path().string()), output, CBatchOptions{0, 1});
    CKSLogger logger;
    logger.SetLevel(CKSLogger::kLevelInfo);
    const CKSFileGeneratorFactory factory(&logger);
    RunBatch(&batch, factory, logger);

    EXPECT_EQ(output->Count("Starting '"), 3) << output->All();
    for (const char* again : {"' TWO ' is named again", "'One' is named again", "'two' is named again"}) {
        EXPECT_EQ(output->Count(again), 1) << again << "\n" << output->All();
    }
    const CKSBatchInfo info(batch);
    std::vector<std::string> made;
    for (const auto& [folder, name] : info.GetFolders()) {
        made.push_back(name.ToUtf8());
    }
    EXPECT_EQ(made, (std::vector<std::string>{"two", "one", "three"}));
    EXPECT_FALSE(std::filesystem::exists(destination.Path() / "second" / "fkbin1.bin"));
}

TEST(RunBatch, OneDefinitionAndNoBatch) {
    TempDir config;
    TempDir destination;
    auto output = std::make_shared<CapturingOutput>();
    CKSGeneratorBatch batch(Names({u"one"}), WriteConfig(config),
                            CKSString::FromUtf8(destination.Path().string()), output, CBatchOptions{0, {}});
    CKSLogger logger;
    logger.SetLevel(CKSLogger::kLevelInfo);
    const CKSFileGeneratorFactory factory(&logger);
    RunBatch(&batch, factory, logger);
    EXPECT_TRUE(output->Contains("Generator finished ")) << output->All();
    EXPECT_EQ(output->Count("'one' generating 1 file"), 1) << output->All();
    EXPECT_FALSE(output->Contains("1 files")) << output->All();
    EXPECT_TRUE(RunBatch(nullptr, factory, logger));
}

TEST(RunBatch, ADefinitionGivenWithTheBatchRunsInPlaceOfTheFileAndCountsTowardsTheKnownTotal) {
    TempDir config;
    TempDir destination;
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    // Made as the command line makes it: the kind's defaults and a few values.
    std::unique_ptr<CKSFileGenerator> given = factory.CreateForKind(u"bin");
    given->GetProperties().Get(u"Files").ParseValue(u"6");
    given->GetProperties().Get(u"Size").ParseValue(u"5000");
    given->GetProperties().Get(u"Prefix").ParseValue(u"given");
    given->GetProperties().Get(u"SimpleName").ParseValue(u"1");
    CBatchOptions options{0, 1, 3};
    options.definitions.emplace(CKSString(u"one"), given->GetProperties());
    auto output = std::make_shared<CapturingOutput>();
    // "one" is also a section of the file: the definition given with the batch wins.
    CKSGeneratorBatch batch(Names({u"one", u"three"}), WriteConfig(config),
                            CKSString::FromUtf8(destination.Path().string()), output, options);
    CKSLogger logger;
    logger.SetLevel(CKSLogger::kLevelInfo);
    const CKSFileGeneratorFactory logging(&logger);
    RunBatch(&batch, logging, logger);

    int givenFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(destination.Path())) {
        if (entry.path().filename().string().rfind("givenbin", 0) == 0) {
            ++givenFiles;
            EXPECT_EQ(entry.file_size(), 5000u);
        }
    }
    EXPECT_EQ(givenFiles, 6) << output->All();
    EXPECT_TRUE(std::filesystem::exists(destination.Path() / "thirdbin0.bin"));
    EXPECT_FALSE(std::filesystem::exists(destination.Path() / "fkbin0.bin"))
        << "the file's 'one' did not run";
    // Every file of both counted in the known total, and every sized file ended as it began.
    const CGenerationProgress& progress = batch.Control().Progress();
    EXPECT_EQ(progress.ExpectedFiles(), 7u);
    EXPECT_EQ(progress.Files(), 7u);
    EXPECT_DOUBLE_EQ(progress.FractionDone().value_or(0), 1.0);

    // The log names each definition and says once how its files are shared among parts, in place
    // of a line per part naming the kind.
    EXPECT_EQ(output->Count(" generating "), 2) << output->All();
    EXPECT_EQ(output->Count("'one' generating 6 files in 3 parallel parts"), 1) << output->All();
    EXPECT_EQ(output->Count("'three' generating 1 file"), 1) << output->All();

    // Run again with the same seed: every part keeps the files made before, and the line comes
    // before any part's line about them.
    auto again = std::make_shared<CapturingOutput>();
    CKSGeneratorBatch rerun(Names({u"one", u"three"}), WriteConfig(config),
                            CKSString::FromUtf8(destination.Path().string()), again, options);
    RunBatch(&rerun, logging, logger);
    const std::vector<CapturingOutput::Line> lines = again->Lines();
    const auto first = [&lines](std::string_view text) {
        return std::find_if(lines.begin(), lines.end(), [text](const CapturingOutput::Line& line) {
            return line.text.find(text) != std::string::npos;
        });
    };
    EXPECT_EQ(again->Count("Kept "), 7) << again->All();
    EXPECT_LT(first("'one' generating 6 files in 3 parallel parts"), first("givenbin")) << again->All();
    EXPECT_FALSE(output->Contains("generator' generating")) << output->All();
}
