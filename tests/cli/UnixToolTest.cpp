// fakemill-cli beside the Unix tools it is used with: how its options parse, what goes to which
// stream, its exit statuses, standard input for "-", JSON output and generation from one line.

#include "tests/cli/CliRunner.h"
#include "tests/cli/StdinReplacement.h"
#include "tests/common/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "BuildVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

namespace {

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::mt19937 random(seed);
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

// The whole output must be one JSON document holding an object.
QJsonObject ParseJson(const CliResult& run) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << run.out;
    EXPECT_TRUE(document.isObject()) << run.out;
    return document.object();
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST(Cli, OptionsParseTheWayUnixToolsDo) {
    TempDir dir;
    const std::string file = dir.File("nine");
    WriteFileBytes(file, "123456789");
    const std::string sha =
        "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225  " + file + "\n";
    // A short option's value may be attached, a long one's may follow "=".
    for (const std::vector<std::string>& words : {std::vector<std::string>{"hash", "-asha256", file},
                                                  {"hash", "--algorithm=sha256", file},
                                                  {"hash", file, "--algorithm", "sha256"}}) {
        EXPECT_EQ(RunCli(words).out, sha) << words[1];
    }
    // Short flags compact: -vq is read as -v and -q, which are then refused together.
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(RunCli({"--config", config, "define", "--type", "bin", "b", "Size=10"}).status, 0);
    const CliResult both = RunCli({"--config", config, "generate", "-vq", "b"});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("-v and -q cannot be given together"), std::string::npos) << both.err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "fkbin0.bin"));

    // "--" ends the options: a file named like one is still a file.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    WriteFileBytes("-v", "123456789");
    const CliResult dashed = RunCli({"hash", "--", "-v"});
    std::filesystem::current_path(before);
    EXPECT_EQ(dashed.out, "cbf43926  -v\n");

    // Errors name the argument at fault, with status 2 and nothing on the output.
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"hexdump", "--widht", "4", file}, "fakemill-cli hexdump: unknown option '--widht'"},
        {{"crc", "-tx", file}, "fakemill-cli crc: unknown option '-t'"},
        {{"crc", "--trailer=yes", file}, "'--trailer'"},
        {{"generate", "--seed"}, "'--seed'"},
        {{"--bogus", "list"}, "fakemill-cli: unknown option '--bogus'"},
    };
    for (const auto& [words, message] : refusals) {
        const CliResult run = RunCli(words);
        EXPECT_EQ(run.status, 2) << words[0];
        EXPECT_EQ(run.out, "") << words[0];
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }

    // Help needs no configuration, not even a readable one.
    const CliResult help =
        RunCli({"--config", dir.File("missing.ini"), "generate", "--type", "bin", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: fakemill-cli ", 0), 0u) << help.out;
    EXPECT_EQ(RunCli({"--version"}).out, "fakemill-cli " FAKEMILL_VERSION_TEXT "\n");
}

TEST(Cli, ADashReadsStandardInputAsAPipeOrARedirectedFile) {
    TempDir dir;
    const std::string bytes = RandomBytes(300000, 4);
    const std::string file = dir.File("random.bin");
    WriteFileBytes(file, bytes);
    const std::string sha = RunCli({"hash", "-a", "sha256", file}).out.substr(0, 64);
    const std::string crcLine =
        RunCli({"crc", file}).out.substr(std::string("CRC for ").size() + file.size());
    const std::vector<std::string> dumpOptions{"--offset", "70001", "--length", "100000", "--width", "24"};
    std::vector<std::string> dumpFile{"hexdump"};
    dumpFile.insert(dumpFile.end(), dumpOptions.begin(), dumpOptions.end());
    std::vector<std::string> dumpStdin = dumpFile;
    dumpFile.push_back(file);
    dumpStdin.push_back("-");
    const std::string dump = RunCli(dumpFile).out;
    ASSERT_EQ(Lines(dump), 100000u / 24 + 1);

    for (const auto kind : {StdinReplacement::EKind::Pipe, StdinReplacement::EKind::File}) {
        const bool piped = kind == StdinReplacement::EKind::Pipe;
        {
            const StdinReplacement input(bytes, kind);
            EXPECT_EQ(RunCli({"hash", "-a", "sha256", "-"}).out, sha + "  -\n") << piped;
        }
        {
            const StdinReplacement input(bytes, kind);
            EXPECT_EQ(RunCli({"crc", "-"}).out, "CRC for -" + crcLine) << piped;
        }
        const StdinReplacement input(bytes, kind);
        const CliResult run = RunCli(dumpStdin);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out == dump) << piped;
    }
    // A trailer check of an empty input says one thing: it is too short.
    const StdinReplacement input("", StdinReplacement::EKind::Pipe);
    const CliResult empty = RunCli({"crc", "--trailer", "-"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "fakemill-cli crc: '-' is too short to hold a trailer (0 bytes)\n");
}

TEST(GenerateCommand, ResultsGoToTheOutputAndDiagnosticsToTheErrorStreamWithTheirOwnStatus) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    const std::string elsewhere = dir.File("elsewhere");
    WriteFileBytes(config, "[good]\nType=bin\nSize=100\nSimpleName=1\n"
                           "[backwards]\nType=bin\nFiles=3,1\n"
                           "[outside]\nType=bin\nSize=10\nSimpleName=1\nFolder=" +
                               elsewhere +
                               "\n"
                               "[inside]\nType=bin\nSize=10\nSimpleName=1\nFolder=" +
                               dir.File("out/sub") + "\n");
    const std::string out = dir.File("out");

    // An error in the batch: status 1, the error line on the error stream only.
    const CliResult failed = RunCli({"--config", config, "generate", "-o", out, "good", "backwards"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("ERROR:'backwards' not generated"), std::string::npos) << failed.err;
    EXPECT_EQ(failed.out.find("ERROR:"), std::string::npos) << failed.out;
    EXPECT_NE(failed.out.find("Starting 'good'"), std::string::npos) << failed.out;

    // A definition whose absolute Folder leads out of the destination is warned about; the
    // warning alone is no failure. One whose Folder lies inside is not.
    const CliResult outside = RunCli({"--config", config, "generate", "-o", out, "outside", "inside"});
    EXPECT_EQ(outside.status, 0) << outside.err;
    EXPECT_EQ(outside.err, "fakemill-cli generate: warning: 'outside' writes into " + elsewhere +
                               ", outside " + out + ", because its Folder is an absolute path\n");
    EXPECT_TRUE(std::filesystem::exists(elsewhere + "/fkbin0.bin"));
    EXPECT_TRUE(std::filesystem::exists(out + "/sub/fkbin0.bin"));

    // -q: nothing at all on success.
    const CliResult quiet = RunCli({"--config", config, "generate", "-q", "-o", out, "good"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
}

TEST(GenerateCommand, TheProgressLineIsDrawnInPlaceOnlyOnATerminal) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    WriteFileBytes(config, "[slow]\nType=bin\nSize=1000\nFiles=4\n");
    for (const bool terminal : {true, false}) {
        std::ostringstream out;
        std::ostringstream err;
        CliStreams io{out, err, false, terminal};
        // The pause makes the batch last long enough for a few redraws.
        const int status = RunFakemillCli(
            {"--config", config, "generate", "--pace", "300", "--jobs", "1", "-o", dir.File("out"), "slow"},
            io);
        EXPECT_EQ(status, 0) << err.str();
        EXPECT_EQ(out.str().find('\r'), std::string::npos);
        if (!terminal) {
            EXPECT_EQ(err.str(), "");
            continue;
        }
        // Redrawn in place: each drawing clears the line first; the last one is cleared too.
        const std::string drawn = err.str();
        EXPECT_GE(std::count(drawn.begin(), drawn.end(), '\r'), 3) << drawn;
        EXPECT_NE(drawn.find("/4 files ("), std::string::npos) << drawn;
        EXPECT_NE(drawn.find("%), "), std::string::npos) << drawn;
        EXPECT_NE(drawn.find(" written, "), std::string::npos) << drawn;
        EXPECT_EQ(drawn.substr(drawn.size() - 4), "\r\033[K") << drawn;
    }
}

TEST(GenerateCommand, OneLineGenerationTakesDefinesKeysAndTouchesNoConfiguration) {
    TempDir dir;
    const auto settingsFiles = [] {
        return std::distance(std::filesystem::recursive_directory_iterator(std::getenv("XDG_CONFIG_HOME")),
                             std::filesystem::recursive_directory_iterator());
    };
    const std::string out = dir.File("big");
    const CliResult run = RunCli({"generate", "--type", "bin", "Size=4KB", "Files=10", "SimpleName=1",
                                  "CRC=1", "--seed", "9", "--jobs", "3", "--manifest", "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto files = FolderContents(out);
    EXPECT_EQ(files.size(), 12u); // the files and the two manifests
    EXPECT_EQ(files.at("fkbin0.bin").size(), 4100u);
    EXPECT_EQ(RunCli({"verify", out}).status, 0);
    EXPECT_EQ(RunCli({"crc", "--trailer", out + "/fkbin9.bin"}).status, 0);
    EXPECT_EQ(settingsFiles(), 0) << "no configuration was recorded or made";

    // The same checks and messages as define, but for the command's name.
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"Colour=red"}, "a bin definition has no property 'Colour'"},
        {{"Size=5,1"}, "Size=5,1 cannot be used: the minimum 5 is above the maximum 1"},
        {{"Size"}, "expected KEY=VALUE, not 'Size'"},
        {{"Type=txt"}, "the kind is set with --type, not Type="},
        {{"Size=1.5MB"},
         "Size=1.5MB cannot be used: \".5MB\" is not a unit; the units are K, M, G, T (powers of "
         "1,000), KB, MB, GB, TB, KiB, MiB, GiB, TiB (powers of 1,024)"},
        {{"Prefix=../up"},
         "Prefix=../up cannot be used: a part of a file name cannot hold the path separator \"/\""},
    };
    const std::string config = dir.File("fakemill.ini");
    for (const auto& [words, message] : refusals) {
        std::vector<std::string> generate{"generate", "--type", "bin", "-o", dir.File("refused")};
        std::vector<std::string> define{"--config", config, "define", "--type", "bin", "name"};
        generate.insert(generate.end(), words.begin(), words.end());
        define.insert(define.end(), words.begin(), words.end());
        const CliResult generated = RunCli(generate);
        const CliResult defined = RunCli(define);
        EXPECT_EQ(generated.status, 2);
        EXPECT_EQ(defined.status, 2);
        EXPECT_EQ(generated.err, "fakemill-cli generate: " + message + "\n");
        EXPECT_EQ(defined.err, "fakemill-cli define: " + message + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("refused")));
    const CliResult odd = RunCli({"generate", "--type", "bin", "CRC=sure", "-q", "-o", dir.File("odd")});
    EXPECT_EQ(odd.status, 0);
    EXPECT_EQ(odd.err, "fakemill-cli generate: warning: CRC=sure reads as CRC=1\n");
    EXPECT_NE(
        RunCli({"generate", "--type", "wav"}).err.find("unknown kind 'wav'; known kinds: txt csv bin img"),
        std::string::npos);
    EXPECT_EQ(RunCli({"generate", "--type", "bin", "--all"}).status, 2);
    EXPECT_EQ(settingsFiles(), 0);
}

TEST(Cli, JsonDocumentsParseWithTheirDocumentedFields) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "bin", "Big one", "Size=64KB", "Files=2,3", "CRC=1"})
            .status,
        0);
    ASSERT_EQ(
        RunCli({"--config", config, "define", "--type", "csv", "table", "Columns=1,3", "Rows=5"}).status, 0);
    WriteFileBytes(config, ReadFileBytes(config) + "[notes]\r\nwhatever=1\r\n");

    const QJsonObject list = ParseJson(RunCli({"--config", config, "list", "--json"}));
    EXPECT_EQ(list["configuration"].toString().toStdString(), config);
    const QJsonArray rows = list["definitions"].toArray();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].toObject()["name"].toString(), QStringLiteral("Big one"));
    EXPECT_EQ(rows[0].toObject()["type"].toString(), QStringLiteral("bin"));
    EXPECT_EQ(rows[0].toObject()["minimumSize"].toInteger(), 65536);
    EXPECT_EQ(rows[0].toObject()["minimumCount"].toInteger(), 2);
    EXPECT_TRUE(rows[1].toObject()["minimumSize"].isNull()) << "a table has no size";
    EXPECT_TRUE(rows[2].toObject()["type"].isNull()) << "not a definition";

    const QJsonObject show = ParseJson(RunCli({"--config", config, "show", "--json", "big one"}));
    EXPECT_EQ(show["name"].toString(), QStringLiteral("big one"));
    EXPECT_EQ(show["type"].toString(), QStringLiteral("bin"));
    std::map<QString, QJsonObject> properties;
    for (const QJsonValue& property : show["properties"].toArray()) {
        properties[property.toObject()["name"].toString()] = property.toObject();
    }
    EXPECT_EQ(properties["CRC"]["kind"].toString(), QStringLiteral("bool"));
    EXPECT_EQ(properties["CRC"]["value"].toBool(), true);
    EXPECT_EQ(properties["Files"]["value"].toObject()["max"].toInteger(), 3);
    EXPECT_EQ(properties["Size"]["written"].toString(), QStringLiteral("64KB,64KB"));
    EXPECT_FALSE(properties["Size"]["description"].toString().isEmpty());

    const std::string out = dir.File("out");
    const CliResult generated = RunCli({"--config", config, "generate", "--json", "--seed", "1", "--manifest",
                                        "-o", out, "Big one", "table", "ghost"});
    EXPECT_EQ(generated.status, 1) << "ghost is no definition";
    const QJsonObject summary = ParseJson(generated);
    EXPECT_NE(generated.err.find("Starting 'table'"), std::string::npos) << "the log goes with the errors";
    const std::int64_t made = summary["files"].toInteger();
    EXPECT_EQ(made + 2, static_cast<std::int64_t>(FolderContents(out).size()))
        << "the files and two manifests";
    EXPECT_GT(summary["bytes"].toInteger(), 2 * 65536);
    // The section that is not there: the factory's error and the batch's warning.
    EXPECT_EQ(summary["errors"].toInt(), 1);
    EXPECT_EQ(summary["warnings"].toInt(), 1);
    EXPECT_EQ(summary["seed"].toInteger(), 1);
    const QJsonArray definitions = summary["definitions"].toArray();
    ASSERT_EQ(definitions.size(), 3);
    EXPECT_EQ(definitions[0].toObject()["folder"].toString().toStdString(), out);
    EXPECT_TRUE(definitions[1].toObject()["generated"].toBool());
    EXPECT_FALSE(definitions[2].toObject()["generated"].toBool());
    EXPECT_TRUE(definitions[2].toObject()["folder"].isNull());

    std::string victim;
    for (const auto& [name, bytes] : FolderContents(out)) {
        victim = name.ends_with(".bin") ? name : victim;
    }
    WriteFileBytes(out + "/" + victim, "changed");
    WriteFileBytes(out + "/stray", "not made by the batch");
    const CliResult verified = RunCli({"verify", "--json", out});
    EXPECT_EQ(verified.status, 1);
    const QJsonObject report = ParseJson(verified);
    EXPECT_EQ(report["files"].toInteger(), made);
    EXPECT_EQ(report["match"].toInteger(), made - 1);
    EXPECT_EQ(report["changed"].toInteger(), 1);
    const QJsonArray problems = report["problems"].toArray();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0].toObject()["outcome"].toString(), QStringLiteral("SIZE"));
    EXPECT_EQ(problems[0].toObject()["path"].toString().toStdString(), victim);
    EXPECT_EQ(problems[0].toObject()["foundSize"].toInteger(), 7);
    EXPECT_EQ(report["extra"].toArray(), QJsonArray{QStringLiteral("stray")});
    EXPECT_EQ(report["disagreements"].toArray().size(), 0);
    EXPECT_TRUE(ParseJson(RunCli({"verify", "--json", "--ignore-extra", out}))["extra"].toArray().isEmpty());

    // --all leaves out what is no definition, and says so in the summary too.
    const QJsonObject all =
        ParseJson(RunCli({"--config", config, "generate", "--json", "--all", "-o", dir.File("all")}));
    EXPECT_EQ(all["definitions"].toArray().size(), 2);
    ASSERT_EQ(all["skipped"].toArray().size(), 1);
    EXPECT_TRUE(all["skipped"].toArray()[0].toString().startsWith(QStringLiteral("[notes] is skipped")));
}

TEST(GenerateCommand, AWordModelFileThatCannotBeUsedIsSaidOnceAndTheBuiltInModelServes) {
    TempDir dir;
    const std::filesystem::path data = std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "kestrune";
    std::filesystem::create_directories(data);
    WriteFileBytes((data / "rovezezodav.dat").string(), "not a model");
    const CliResult run = RunCli({"generate", "--type", "txt", "TextType=4", "Files=3", "Size=2000", "--jobs",
                                  "3", "-q", "-o", dir.File("prose")});
    EXPECT_EQ(run.status, 0) << "a warning is no failure";
    EXPECT_EQ(run.err,
              "WARNING:" + (data / "rovezezodav.dat").string() +
                  " is not a word model data file; the word model built into the program is used instead\n");
    const auto files = FolderContents(dir.File("prose"));
    ASSERT_EQ(files.size(), 3u);
    EXPECT_NE(files.begin()->second.find(". "), std::string::npos) << "sentences";
    EXPECT_EQ(ReadFileBytes((data / "rovezezodav.dat").string()), "not a model");
}
