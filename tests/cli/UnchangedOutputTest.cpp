// Seeded output of every kind, pinned by its SHA-256: a change that moves one byte of what an
// existing definition makes for a seed shows here. The digests were taken before the options for
// damage, encodings, line ends, names and CSV styles existed; each of those, left at its default
// or set to it explicitly, must leave the bytes as they were.

#include "engine/KSFileDigest.h"
#include "tests/cli/ChildProcess.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Every kind with the options that change its bytes. Dates follow the locale, so the program
// runs in the C locale.
const char* const kDefinitions = R"ini([bin plain]
Type=bin
Files=2,3
Size=1K,20K
SimpleName=1

[bin counting]
Type=bin
Size=9000,9000
Sequence=300,700
BigEndian=1

[bin crc quick]
Type=bin
Files=2,2
Size=8KB,64KB
CRC=1
Quick=2

[txt chars]
Type=txt
TextType=1
NumbersInText=0
Size=2KB,8KB

[txt words]
Type=txt
Files=2,2
TextType=2
NumbersInText=1
EmailsInText=1
CCsInText=1
DatesInText=1
WinLineEnding=0
Size=4KB,16KB

[txt prose]
Type=txt
TextType=4
LineLength=100,300
Size=8KB,16KB

[csv sales]
Type=csv
EmitHeader=1
Columns=1, 3, 4, 5, 2
Rows=40,90

[csv semi]
Type=csv
Columns=3, 4
Separator=;
Rows=30,30
Files=2,2

[img png]
Type=img
ImageType=png
Files=2,2
Width=30,120
Height=20,90
Elements=3,12

[img jpg]
Type=img
ImageType=jpg
Background=grey
Width=64,64
Height=48,48

[img gif]
Type=img
ImageType=gif
Background=Blue
Elements=8,8
Width=40,80
Height=40,80

[img bmp]
Type=image
ImageType=bmp
Width=20,40
Height=20,40
)ini";

const std::map<std::string, std::string> kDigests = {
    {"fkbin0.bin", "a86e90e469f431df3ebbfb3e25d420016d69b3e4c8489a60b934e0b544b026d7"},
    {"fkbin1.bin", "6dab98981379461518a8775cbecc9a2cebe1f56584552a03b1bca2b1e5b7fb85"},
    {"fkbin163100055_0.bin", "f495566355d7f7e79b06823f0a97beea04ddddd5bb6f3e5e6b120cf8b88ecdda"},
    {"fkbin1949519706_0.bin", "b73553f2ec9c164ef06daa8a749b93942272de39208c0035023c6ad6f0e548b7"},
    {"fkbin1949519706_1.bin", "16bd489f90a08d94887a75d6cd141a90b524bbf43f54e34c7def9ba1776a6703"},
    {"fkbin2.bin", "1f78e1f2a07e8cee995e8bc483c41adfa9076f403063f3275bcf7e527ae4dcdf"},
    {"fkcsv1198966639_0.csv", "bbb4d556e39f908d5b08a4865d1e3c270e622238bd12ad9c1280578a9fb95c3c"},
    {"fkcsv1985964284_0.csv", "71b2577253342a57773352b7790aeb3ad0ccce63d98ebb4c2b3caae3f1a54318"},
    {"fkcsv1985964284_1.csv", "5bcf8ed09f4a9a12480e4d44bacd1a91ae22a0b115438bc0c3bc031d19e0d211"},
    {"fkimage316618419_0.bmp", "cf4f496d08fccdc9c5e6dee7f9c0ac22f48ec67111888c19c2c86d45ba454784"},
    {"fkimg1271081102_0.png", "57607f6c1eb5ba4d3ccb82254db19d2d86703129c837610fa57bf9163b11f5da"},
    {"fkimg1271081102_1.png", "38ddfb2126a386112e3af6931f5814427d0bb72892c0597abd86bfd1b8d42670"},
    {"fkimg289363069_0.jpg", "787e95940bd31cf321107cba5844f9f36ea0e9da12318639847624374428f0bf"},
    {"fkimg476474860_0.gif", "ca8beb0552e97caae877fa4be886f36e7ba22ec9fab637d12d6ef3babad57e12"},
    {"fktxt1611593466_0.txt", "e6aa1e4b6ef7bf45df725011000f46071f6fa4f30acb1afcf8b1a0a4d69cf4bd"},
    {"fktxt545526205_0.txt", "4666a118e3d394a4dce859b35c51329a9b35c603cc192b4c41a929a608ec3e3e"},
    {"fktxt545526205_1.txt", "e9ccc9bf47c4c1bf18506c2353001693780a2a38251e0a2e36edd2693a530985"},
    {"fktxt641870684_0.txt", "f1a9101c9f421cc82b71fa9319969a03cc02032e93e4821bee7a731195fb9d18"},
};

// SHA-256 of every file under the folder, by relative path.
std::map<std::string, std::string> Digests(const fs::path& folder) {
    std::map<std::string, std::string> digests;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::uint64_t size = 0;
        std::string hex;
        EXPECT_TRUE(HashFileSha256(CKSString::FromUtf8(entry.path().string()), size, hex));
        digests[fs::relative(entry.path(), folder).string()] = hex;
    }
    return digests;
}

std::map<std::string, std::string> GenerateSeeded(const TempDir& dir, const std::string& ini,
                                                  const std::string& name) {
    const std::string config = dir.File(name + ".ini");
    WriteFileBytes(config, ini);
    const std::string out = dir.File(name);
    ChildProcess run({"/usr/bin/env", "LC_ALL=C", FAKEMILL_CLI_PATH, "--config", config, "generate", "--pace",
                      "0", "--seed", "20240611", "-q", "-o", out, "--all"});
    EXPECT_EQ(run.Wait(std::chrono::seconds(120)), 0) << name;
    return Digests(out);
}

} // namespace

TEST(UnchangedOutput, EveryKindMakesTheBytesItMadeBeforeForTheSameSeed) {
    TempDir dir;
    EXPECT_EQ(GenerateSeeded(dir, kDefinitions, "today"), kDigests);
}

TEST(UnchangedOutput, NewOptionsSetToTheirDefaultsOrSharedWithNoFileChangeNothing) {
    // Every section gets the common options at their defaults, and damage that no file's share
    // lets through; text and tables get their own options at their defaults too.
    std::string explicitDefaults;
    std::istringstream lines(kDefinitions);
    for (std::string line; std::getline(lines, line);) {
        explicitDefaults += line + "\n";
        if (line.rfind("Type=", 0) != 0) {
            continue;
        }
        explicitDefaults += "Damage=truncate,flip,zero,empty\nDamageShare=0\nNames=plain\n";
        if (line == "Type=txt" || line == "Type=csv") {
            explicitDefaults += "Encoding=utf8\nLineEnd=default\nDateFormat=locale\n";
        }
        if (line == "Type=csv") {
            explicitDefaults += "Style=padded\nNumberRange=0,1000\n";
        }
    }
    TempDir dir;
    EXPECT_EQ(GenerateSeeded(dir, explicitDefaults, "defaults"), kDigests);
}
