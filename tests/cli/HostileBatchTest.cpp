// A batch of damaged files with hostile names: the same seed gives the same files, names and
// damage on any number of jobs and shards, its manifest records the damage, and verify and
// sha256sum -c check every file as written, names with blanks, dashes and 64 folders included.

#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

// Every file under the folder but the manifests, by relative path.
std::map<std::string, std::string> Contents(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind("fakemill", 0) != 0) {
            files[fs::relative(entry.path(), folder).string()] = ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

// The damage and name records of every manifest in the folder, by path.
std::map<std::string, QJsonObject> Records(const fs::path& folder) {
    std::map<std::string, QJsonObject> records;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("fakemill-manifest", 0) != 0) {
            continue;
        }
        const QJsonDocument manifest =
            QJsonDocument::fromJson(QByteArray::fromStdString(ReadFileBytes(entry.path().string())));
        for (const QJsonValue& value : manifest.object().value(QStringLiteral("files")).toArray()) {
            QJsonObject file = value.toObject();
            file.remove(QStringLiteral("index"));
            records[file.value(QStringLiteral("path")).toString().toStdString()] = file;
        }
    }
    return records;
}

const std::vector<std::vector<std::string>> kDefinitions = {
    {"img", "pictures", "ImageType=png", "Files=12", "Width=10,90", "Height=10,90", "DamageShare=60",
     "Damage=crc,truncate,flip,dimensions", "Names=unicode"},
    {"txt", "lines", "Files=8", "Size=1K,3K", "Damage=nul,mixed-eol,zero", "DamageShare=70", "Names=spaces",
     "Encoding=utf16le-bom"},
    {"csv", "table", "Files=6", "Rows=5,20", "Columns=1,6,9", "Style=rfc4180", "Damage=quote,ragged",
     "Names=dash"},
    {"bin", "blocks", "Files=6", "Size=2K,40K", "CRC=1", "Quick=1", "Damage=crc,zero,empty,truncate",
     "Names=long", "SimpleName=1"},
    {"txt", "pairs", "Files=4", "Size=500", "Names=case", "SimpleName=1"},
    {"bin", "buried", "Files=2", "Size=1K", "Names=deep"},
};

} // namespace

TEST(HostileBatch, TheSeedGivesTheSameDamageAndNamesOnAnyJobsAndShardsAndVerifyChecksThem) {
    TempDir dir;
    const std::string config = dir.File("fakemill.ini");
    for (const auto& definition : kDefinitions) {
        std::vector<std::string> args = {"--config", config, "define", "--type"};
        args.insert(args.end(), definition.begin(), definition.end());
        ASSERT_EQ(RunCli(args).status, 0) << definition[1];
    }
    const auto generate = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--config",   config, "generate", "--pace",     "0", "--seed", "11",
                                         "--manifest", "-q",   "-o",       dir.File(out)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("--all");
        const CliResult run = RunCli(args);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
    };
    generate("one", {"--jobs", "1"});
    generate("three", {"--jobs", "3"});
    generate("shards", {"--shard", "0/2"});
    generate("shards", {"--shard", "1/2", "--jobs", "2"});

    const auto one = Contents(dir.Path() / "one");
    EXPECT_EQ(one.size(), 38u);
    EXPECT_EQ(one, Contents(dir.Path() / "three"));
    EXPECT_EQ(one, Contents(dir.Path() / "shards"));
    const auto records = Records(dir.Path() / "one");
    EXPECT_EQ(records, Records(dir.Path() / "three"));
    EXPECT_EQ(records, Records(dir.Path() / "shards"));

    // Each hostile style and the damage are in the record; the names are what they say.
    std::map<std::string, int> styles;
    int damaged = 0;
    for (const auto& [path, record] : records) {
        ++styles[record.value(QStringLiteral("name"))
                     .toObject()
                     .value(QStringLiteral("style"))
                     .toString()
                     .toStdString()];
        damaged += record.contains(QStringLiteral("damage")) ? 1 : 0;
        const std::string name = fs::path(path).filename().string();
        if (record.value(QStringLiteral("definition")).toString() == QStringLiteral("lines")) {
            EXPECT_TRUE(name.front() == ' ' && name.back() == ' ') << name;
        }
    }
    EXPECT_EQ(styles["unicode"], 12);
    EXPECT_EQ(styles["long"], 6);
    EXPECT_EQ(styles["deep"], 2);
    EXPECT_GE(damaged, 15);
    EXPECT_TRUE(one.count("fktxt0.txt") && one.count("FKTXT0.txt"));
    EXPECT_EQ(
        std::count_if(one.begin(), one.end(), [](const auto& file) { return file.first.front() == '-'; }), 6);

    // verify and sha256sum -c check every file as written, damage included.
    const CliResult verified = RunCli({"verify", dir.File("one")});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    const std::string check = "cd '" + dir.File("one") + "' && sha256sum --quiet -c fakemill.sha256";
    const int status = std::system(check.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // A record whose damage does not match the file it lists is reported, as is a changed file.
    const std::string manifest = dir.File("one") + "/fakemill-manifest.json";
    QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFileBytes(manifest))).object();
    QJsonArray files = root.value(QStringLiteral("files")).toArray();
    std::string tampered;
    for (qsizetype i = 0; i < files.size() && tampered.empty(); ++i) {
        QJsonObject file = files[i].toObject();
        QJsonObject damage = file.value(QStringLiteral("damage")).toObject();
        QJsonArray changes = damage.value(QStringLiteral("changes")).toArray();
        if (changes.isEmpty() ||
            changes[0].toObject().value(QStringLiteral("written")).toString().size() != 2) {
            continue;
        }
        QJsonObject change = changes[0].toObject();
        const QString written = change.value(QStringLiteral("written")).toString();
        change[QStringLiteral("written")] =
            written == QStringLiteral("00") ? QStringLiteral("01") : QStringLiteral("00");
        changes[0] = change;
        damage[QStringLiteral("changes")] = changes;
        file[QStringLiteral("damage")] = damage;
        files[i] = file;
        tampered = file.value(QStringLiteral("path")).toString().toStdString();
    }
    ASSERT_FALSE(tampered.empty());
    root[QStringLiteral("files")] = files;
    WriteFileBytes(manifest, QJsonDocument(root).toJson().toStdString());
    const CliResult rejected = RunCli({"verify", manifest});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_NE(rejected.out.find("DAMAGE  " + tampered + " (the bytes at offset"), std::string::npos)
        << rejected.out;
    // Checked as a folder, the checksum list names the same files without their damage: the
    // record's damage still holds for each.
    const CliResult folder = RunCli({"verify", dir.File("one")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.out.find("DAMAGE  " + tampered + " (the bytes at offset"), std::string::npos)
        << folder.out;
    EXPECT_EQ(folder.out.find("DISAGREE"), std::string::npos) << folder.out;
}
