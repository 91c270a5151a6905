// Damaged files handed to the readers testers use, one test per kind: each reader must do with
// every file what the manifest says it will (pngcheck, jpeginfo, giftext, ImageMagick's identify,
// Python's csv module in strict mode, iconv and file, all from scripts/deps.sh).

#include "tests/cli/CliRunner.h"
#include "tests/common/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <sys/wait.h>

namespace {

struct CReaderRun {
    int status = -1;
    std::string output; // stdout and stderr
};

// Runs a reader on one file (none when path is empty), with the file's path quoted for the shell.
CReaderRun Read(const std::string& command, const std::string& path) {
    std::string quoted;
    if (!path.empty()) {
        quoted = "'";
        for (const char c : path) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        quoted += "'";
    }
    CReaderRun run;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " " + quoted + " 2>&1").c_str(), "r"),
                                               ::pclose);
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        run.output += buffer;
    }
    const int status = ::pclose(pipe.release());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool HasTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

struct CListedFile {
    std::string path;
    std::string damageClass; // empty when undamaged
    std::string outcome;
    std::int64_t rows = -1;
};

// Defines one definition with the values, generates it seeded with a manifest, and answers the
// files the manifest lists.
std::vector<CListedFile> Generate(const TempDir& dir, const std::string& kind,
                                  std::vector<std::string> values, std::uint32_t seed = 27) {
    const std::string config = dir.File("fakemill.ini");
    std::vector<std::string> define = {"--config", config, "define", "--replace", "--type", kind, "readers"};
    define.insert(define.end(), values.begin(), values.end());
    const CliResult defined = RunCli(define);
    EXPECT_EQ(defined.status, 0) << defined.err;
    const std::string out = dir.File("out-" + kind + std::to_string(seed));
    const CliResult run = RunCli({"--config", config, "generate", "--pace", "0", "--seed",
                                  std::to_string(seed), "--manifest", "-q", "-o", out, "readers"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const QJsonObject manifest =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReadFileBytes(out + "/fakemill-manifest.json")))
            .object();
    std::vector<CListedFile> files;
    for (const QJsonValue& value : manifest.value(QStringLiteral("files")).toArray()) {
        const QJsonObject file = value.toObject();
        const QJsonObject damage = file.value(QStringLiteral("damage")).toObject();
        files.push_back({out + "/" + file.value(QStringLiteral("path")).toString().toStdString(),
                         damage.value(QStringLiteral("class")).toString().toStdString(),
                         damage.value(QStringLiteral("outcome")).toString().toStdString(),
                         damage.value(QStringLiteral("rows")).toInteger(-1)});
    }
    return files;
}

// Each class was given to at least one file, and some files were left undamaged.
void ExpectEveryClass(const std::vector<CListedFile>& files, std::initializer_list<const char*> classes) {
    std::map<std::string, int> seen;
    for (const CListedFile& file : files) {
        ++seen[file.damageClass];
    }
    for (const char* name : classes) {
        EXPECT_GT(seen[name], 0) << name;
    }
    EXPECT_GT(seen[""], 0) << "no undamaged file";
}

} // namespace

TEST(DamageReaders, PngcheckReportsTheDeclaredClassAndPassesUndamagedFiles) {
    ASSERT_TRUE(HasTool("pngcheck")) << "scripts/deps.sh installs pngcheck";
    TempDir dir;
    const auto files =
        Generate(dir, "img",
                 {"ImageType=png", "Files=150", "Width=8,160", "Height=8,120", "DamageShare=80",
                  "Damage=crc,length,dimensions,no-iend,bad-signature,truncate,flip,zero,empty"});
    ExpectEveryClass(files, {"crc", "length", "dimensions", "no-iend", "bad-signature", "truncate", "flip"});
    const std::map<std::string, std::regex> reported = {
        {"crc", std::regex("CRC error in chunk")},
        {"length", std::regex("EOF while reading")},
        {"dimensions", std::regex("invalid IHDR image dimensions")},
        {"no-iend", std::regex("doesn't end with an IEND chunk")},
        {"bad-signature", std::regex("neither a PNG|CORRUPTED")},
    };
    for (const CListedFile& file : files) {
        const CReaderRun check = Read("pngcheck", file.path);
        if (file.damageClass.empty()) {
            EXPECT_EQ(check.status, 0) << check.output;
            continue;
        }
        EXPECT_EQ(file.outcome, "fails");
        EXPECT_NE(check.status, 0) << file.damageClass << ": " << check.output;
        if (const auto pattern = reported.find(file.damageClass); pattern != reported.end()) {
            EXPECT_TRUE(std::regex_search(check.output, pattern->second))
                << file.damageClass << ": " << check.output;
        }
    }
}

TEST(DamageReaders, JpeginfoFlagsEveryDamagedFile) {
    ASSERT_TRUE(HasTool("jpeginfo")) << "scripts/deps.sh installs jpeginfo";
    TempDir dir;
    const auto files =
        Generate(dir, "img",
                 {"ImageType=jpg", "Files=150", "Width=8,160", "Height=8,120", "DamageShare=80",
                  "Damage=no-eoi,scan-cut,bad-marker,dimensions,truncate,flip,zero,empty"});
    ExpectEveryClass(files, {"no-eoi", "scan-cut", "bad-marker", "dimensions", "truncate", "flip", "zero"});
    for (const CListedFile& file : files) {
        const CReaderRun check = Read("jpeginfo -c", file.path);
        if (file.damageClass.empty()) {
            EXPECT_EQ(check.status, 0) << check.output;
            EXPECT_NE(check.output.find(" OK"), std::string::npos) << check.output;
            continue;
        }
        EXPECT_NE(check.status, 0) << file.damageClass << ": " << check.output;
        // A warning is declared as such; an error as a failure.
        const char* flag = file.outcome == "warns" ? "WARNING" : "ERROR";
        EXPECT_NE(check.output.find(flag), std::string::npos) << file.damageClass << ": " << check.output;
    }
}

TEST(DamageReaders, GiftextFailsOrDecodesAsDeclared) {
    ASSERT_TRUE(HasTool("giftext")) << "scripts/deps.sh installs giflib-tools";
    TempDir dir;
    const auto files =
        Generate(dir, "img",
                 {"ImageType=gif", "Files=150", "Width=8,160", "Height=8,120", "DamageShare=80",
                  "Damage=dimensions,no-trailer,lzw,truncate,flip,zero,empty"});
    ExpectEveryClass(files, {"dimensions", "no-trailer", "lzw", "truncate", "flip", "zero"});
    for (const CListedFile& file : files) {
        // -p decodes every pixel, so the image data is read as a viewer reads it.
        const CReaderRun check = Read("giftext -p", file.path);
        const bool decodes = file.damageClass.empty() || file.outcome == "decodes";
        EXPECT_EQ(check.status == 0, decodes)
            << file.damageClass << " (" << file.outcome << "): " << check.output.substr(0, 200);
        if (file.damageClass == "dimensions") {
            EXPECT_NE(check.output.find("Width = 65535, Height = 65535"), std::string::npos);
        }
    }
}

TEST(DamageReaders, IdentifyFailsOrWarnsOnBitmapsAsDeclared) {
    ASSERT_TRUE(HasTool("identify")) << "scripts/deps.sh installs imagemagick";
    TempDir dir;
    const auto files = Generate(dir, "img",
                                {"ImageType=bmp", "Files=100", "Width=8,100", "Height=8,80", "DamageShare=80",
                                 "Damage=size,offset,dimensions,truncate,flip,zero,empty"});
    ExpectEveryClass(files, {"size", "offset", "dimensions", "truncate", "flip", "zero"});
    for (const CListedFile& file : files) {
        const CReaderRun check = Read("identify", file.path);
        const bool decodes = file.damageClass.empty() || file.outcome == "decodes";
        EXPECT_EQ(check.status == 0, decodes)
            << file.damageClass << " (" << file.outcome << "): " << check.output;
        if (file.outcome == "warns") {
            EXPECT_NE(check.output.find("length and filesize do not match"), std::string::npos)
                << check.output;
        }
    }
}

TEST(DamageReaders, PythonStrictCsvRaisesOnQuotesAndCountsRaggedRows) {
    ASSERT_TRUE(HasTool("/usr/bin/python3"));
    TempDir dir;
    // Prints for each file, on one line: the error a strict reader raised, or the rows, the rows
    // whose field count differs from the header's, and whether the first field begins with a
    // byte-order mark. One process reads them all.
    const std::string script = dir.File("read.py");
    WriteFileBytes(script,
                   "import csv, sys\n"
                   "for path in sys.argv[1:]:\n"
                   "    try:\n"
                   "        rows = list(csv.reader(open(path, newline='', encoding='utf-8'), strict=True))\n"
                   "    except (csv.Error, UnicodeDecodeError) as e:\n"
                   "        print('raised', type(e).__name__); continue\n"
                   "    print('rows', len(rows), 'ragged', sum(len(r) != len(rows[0]) for r in rows),\n"
                   "          'bom', rows[0][0].startswith('\\ufeff'))\n");
    for (const char* style : {"Style=padded", "Style=rfc4180"}) {
        const auto files = Generate(dir, "csv",
                                    {style, "Files=60", "Rows=5,60", "Columns=1,3,4,5,9,11", "EmitHeader=1",
                                     "DamageShare=80", "Damage=quote,ragged,mixed-eol,bom,invalid-utf8"});
        ExpectEveryClass(files, {"quote", "ragged", "mixed-eol", "bom", "invalid-utf8"});
        std::string paths;
        for (const CListedFile& file : files) {
            paths += "'" + file.path + "' ";
        }
        std::istringstream lines(Read("/usr/bin/python3 " + script + " " + paths, "").output);
        for (const CListedFile& file : files) {
            std::string output;
            std::getline(lines, output);
            if (file.damageClass == "quote") {
                EXPECT_EQ(output, "raised Error") << style;
            } else if (file.damageClass == "invalid-utf8") {
                EXPECT_EQ(output, "raised UnicodeDecodeError") << style;
            } else if (!file.damageClass.empty()) {
                const std::string ragged = file.damageClass == "ragged" ? "1" : "0";
                const std::string bom = file.damageClass == "bom" ? "True" : "False";
                EXPECT_EQ(output, "rows " + std::to_string(file.rows) + " ragged " + ragged + " bom " + bom)
                    << style << " " << file.damageClass;
            } else {
                EXPECT_TRUE(std::regex_match(output, std::regex("rows \\d+ ragged 0 bom False")))
                    << style << output;
            }
        }
    }
    // E-mail addresses may begin with a comma or a quote, so quoted ones could close a quote
    // opened earlier; the unclosed quote still makes every file raise.
    const auto mails =
        Generate(dir, "csv", {"Style=rfc4180", "Files=150", "Rows=1,12", "Columns=6,6,6", "Damage=quote"});
    std::string paths;
    for (const CListedFile& file : mails) {
        paths += "'" + file.path + "' ";
    }
    std::istringstream lines(Read("/usr/bin/python3 " + script + " " + paths, "").output);
    std::size_t raised = 0;
    for (std::string output; std::getline(lines, output);) {
        raised += output == "raised Error" ? 1 : 0;
    }
    EXPECT_EQ(raised, mails.size());
    EXPECT_EQ(mails.size(), 150u);
}

TEST(DamageReaders, IconvFailsOnInvalidUtf8AndFileNamesEachEncoding) {
    ASSERT_TRUE(HasTool("iconv") && HasTool("file"));
    TempDir dir;
    const auto damaged = Generate(
        dir, "txt",
        {"Files=60", "Size=2K,8K", "DamageShare=75", "Damage=invalid-utf8,nul,mixed-eol,long-line,truncate"});
    ExpectEveryClass(damaged, {"invalid-utf8", "nul", "mixed-eol", "long-line", "truncate"});
    for (const CListedFile& file : damaged) {
        const CReaderRun decode = Read("iconv -f UTF-8 -t UTF-8 -o /dev/null", file.path);
        EXPECT_EQ(decode.status != 0, file.damageClass == "invalid-utf8")
            << file.damageClass << decode.output;
    }
    // file(1) names an encoding only from its byte-order mark, so the UTF-16 files without one
    // are checked by decoding them instead.
    const std::map<std::string, std::string> named = {
        {"utf8", "ASCII text"},
        {"utf8-bom", "UTF-8 (with BOM) text"},
        {"utf16le-bom", "UTF-16, little-endian text"},
        {"utf16be-bom", "UTF-16, big-endian text"},
        {"latin1", "ISO-8859 text"},
        {"utf16le", ""},
        {"utf16be", ""},
    };
    for (const auto& [encoding, description] : named) {
        const auto files = Generate(dir, "txt", {"Encoding=" + encoding, "Files=3", "Size=2K,4K"});
        ASSERT_EQ(files.size(), 3u);
        for (const CListedFile& file : files) {
            if (description.empty()) {
                const std::string from = encoding == "utf16le" ? "UTF-16LE" : "UTF-16BE";
                EXPECT_EQ(Read("iconv -f " + from + " -t UTF-8 -o /dev/null", file.path).status, 0)
                    << encoding;
                EXPECT_NE(Read("iconv -f UTF-8 -t UTF-8 -o /dev/null", file.path).status, 0) << encoding;
            } else {
                const std::string said = Read("file -b", file.path).output;
                EXPECT_NE(said.find(description), std::string::npos) << encoding << ": " << said;
            }
        }
    }
}
