// The INI layer under pressure: concurrent writers (threads and processes), a writer killed in the
// middle of its work, the parsed-file cache, and input that is not text at all.

#include "support/IniDocument.h"
#include "tests/support/IniTestSupport.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <regex>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::u16string U(const std::string& text) {
    return Utf8ToUtf16(text);
}

// Concatenation by appending (GCC 12 raises a false -Wrestrict alarm on literal + std::string).
template <typename... Parts>
std::string Cat(const Parts&... parts) {
    std::string text;
    (text.append(std::string_view(parts)), ...);
    return text;
}
std::string Num(long long n) {
    return std::to_string(n);
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Ends a forked child without running the parent's exit handlers or test framework.
[[noreturn]] void ChildExit(bool ok) {
    ::_exit(ok ? 0 : 1);
}

int WaitExitCode(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

using IniProcesses = IniFileTest;

TEST_F(IniProcesses, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kKeys = 500;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            ::close(start[1]);
            char go = 0;
            // Both begin when the parent closes the pipe: the read ends then, with nothing.
            [[maybe_unused]] const ssize_t ended = ::read(start[0], &go, 1);
            bool ok = true;
            for (int i = 0; i < kKeys && ok; ++i) {
                ok = CIniProfile::WriteString(Ini(), u"shared", U(Cat("w", Num(w), "_", Num(i))),
                                              U(std::to_string(i * 7)));
            }
            ChildExit(ok);
        }
    }
    ::close(start[0]);
    ::close(start[1]);
    EXPECT_EQ(WaitExitCode(writers[0]), 0);
    EXPECT_EQ(WaitExitCode(writers[1]), 0);

    EXPECT_EQ(Sections(), (std::vector<std::u16string>{u"shared"}));
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < kKeys; ++i) {
            ASSERT_EQ(Get(u"shared", U(Cat("w", Num(w), "_", Num(i)))), U(std::to_string(i * 7)))
                << "writer " << w << " key " << i;
        }
    }
    // Every line is whole: the header and one "key=value" per key, each with CR LF.
    const std::string bytes = Bytes();
    const std::regex wholeFile(R"(\[shared\]\r\n(w[01]_\d+=\d+\r\n){1000})");
    EXPECT_TRUE(std::regex_match(bytes, wholeFile));
    EXPECT_EQ(FolderEntries(m_dir.Path()), (std::vector<std::string>{"test.ini"}));
}

TEST_F(IniProcesses, OfProcessesDefiningTheSameNewNameExactlyOneSucceeds) {
    constexpr int kWriters = 6;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(start[1]);
            char go = 0;
            [[maybe_unused]] const ssize_t ended = ::read(start[0], &go, 1);
            bool existed = false;
            const bool written = CIniProfile::WriteNewSection(
                Ini(), u"New Name", {{CKSString(u"writer"), CKSString(U(Num(w)))}}, nullptr, &existed);
            // 0: wrote it; 3: told that it exists; anything else is a fault.
            ::_exit(written && !existed ? 0 : (!written && existed ? 3 : 1));
        }
        writers.push_back(pid);
    }
    ::close(start[0]);
    ::close(start[1]);
    int winners = 0;
    int told = 0;
    for (const pid_t pid : writers) {
        const int code = WaitExitCode(pid);
        winners += code == 0 ? 1 : 0;
        told += code == 3 ? 1 : 0;
    }
    EXPECT_EQ(winners, 1);
    EXPECT_EQ(told, kWriters - 1);
    EXPECT_EQ(Sections(), (std::vector<std::u16string>{u"New Name"}));
    EXPECT_NE(Get(u"New Name", u"writer"), u"<default>");
}

TEST_F(IniProcesses, AFailedWriteSaysWhyInTheSystemsWords) {
    // A file-size limit makes the write of the new version fail the way a full disk does.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::u16string error;
        const bool written = CIniProfile::WriteString(Ini(), u"s", u"k", std::u16string(4096, u'x'), &error);
        const bool named = error.find(U(std::strerror(EFBIG))) != std::u16string::npos &&
                           error.find(u"canceled") == std::u16string::npos;
        if (!named) {
            std::cerr << Utf16ToUtf8(error) << "\n";
        }
        ::_exit(!written && named ? 0 : 1);
    }
    EXPECT_EQ(WaitExitCode(pid), 0);
    EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(IniProcesses, ThreadsWritingAndReadingAtOnce) {
    constexpr int kWriters = 4;
    constexpr int kKeys = 40;
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([this, w] {
            for (int i = 0; i < kKeys; ++i) {
                EXPECT_TRUE(CIniProfile::WriteString(Ini(), u"t", U(Cat("k", Num(w), "_", Num(i))),
                                                     U(std::to_string(i))));
            }
        });
    }
    std::thread reader([&] {
        while (!done.load()) {
            // A key, once written, keeps its value; whatever a reader sees is either absent or right.
            const std::u16string value = CIniProfile::GetString(Ini(), u"t", u"k0_5", u"absent").Str();
            if (value != u"absent" && value != u"5") {
                ++badReads;
            }
            (void)CIniProfile::GetSectionNames(Ini());
        }
    });
    for (std::thread& t : threads) {
        t.join();
    }
    done = true;
    reader.join();
    EXPECT_EQ(badReads.load(), 0);
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kKeys; ++i) {
            EXPECT_EQ(Get(u"t", U(Cat("k", Num(w), "_", Num(i)))), U(std::to_string(i)));
        }
    }
}

// A writer killed with SIGKILL at a random moment leaves exactly the file of some earlier or
// later step, and the next writer is not held up by anything it left behind.
TEST_F(IniProcesses, KilledWriterLeavesAWholeFile) {
    const auto stateAfter = [](int steps) {
        std::string bytes = Cat("[s]\r\ncounter=", Num(steps), "\r\n");
        for (int i = 1; i <= steps; ++i) {
            bytes += Cat("key", Num(i), "=", Num(i), "\r\n");
        }
        return bytes;
    };
    const auto step = [this](int n) {
        return CIniProfile::WriteStrings(
            Ini(), u"s", {{u"counter", U(std::to_string(n))}, {U(Cat("key", Num(n))), U(std::to_string(n))}});
    };
    std::mt19937 random(20240611);
    int lastSteps = 0;
    int tornOrLost = 0;
    int litter = 0;
    for (int round = 0; round < 20; ++round) {
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(started[0]);
            int n = std::stoi(Utf16ToUtf8(CIniProfile::GetString(Ini(), u"s", u"counter", u"0").Str()));
            for (;;) {
                if (!step(++n)) {
                    ChildExit(false);
                }
                if (started[1] >= 0) { // the parent times its kill from the first finished step
                    [[maybe_unused]] const ssize_t told = ::write(started[1], "x", 1);
                    ::close(started[1]);
                    started[1] = -1;
                }
            }
        }
        ::close(started[1]);
        char signal = 0;
        ASSERT_EQ(::read(started[0], &signal, 1), 1) << "the writer failed before its first step";
        ::close(started[0]);
        // A write takes a few milliseconds (two waits for the disk): the kill lands anywhere in it.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(child, SIGKILL);
        EXPECT_EQ(WaitExitCode(child), 128 + SIGKILL);

        CIniProfile::DropCache();
        const std::string bytes = Bytes();
        const int steps = std::stoi(Utf16ToUtf8(CIniProfile::GetString(Ini(), u"s", u"counter", u"0").Str()));
        if (bytes != (steps == 0 ? std::string() : stateAfter(steps)) || steps < lastSteps) {
            ++tornOrLost;
        }
        // The next writer gets in soon: a lock left by the dead process is stale (at once when it
        // names the process, after a second when the process died before it could).
        const auto before = std::chrono::steady_clock::now();
        if (!step(steps + 1)) {
            for (const auto& name : FolderEntries(m_dir.Path())) {
                std::cerr << name << ": [" << ReadFileBytes(m_dir.File(name)).substr(0, 80) << "]\n";
            }
            FAIL();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(4));
        EXPECT_EQ(Bytes(), stateAfter(steps + 1));
        lastSteps = steps + 1;
        // QSaveFile writes to an unnamed file and names it only for the final rename, so a kill
        // in that instant can leave one named temporary; it never blocks anyone.
        const std::vector<std::string> entries = FolderEntries(m_dir.Path());
        EXPECT_EQ(std::count(entries.begin(), entries.end(), "test.ini.lock"), 0);
        litter += static_cast<int>(entries.size()) - 1;
    }
    EXPECT_EQ(tornOrLost, 0);
    EXPECT_GT(lastSteps, 20) << "the children should have written between the kills";
    RecordProperty("leftover_temporaries", litter);
}

TEST_F(IniProcesses, ReadingManyKeysCostsOneParsePerChange) {
    std::string text;
    for (int s = 0; s < 50; ++s) {
        text += Cat("[def", Num(s), "]\r\n");
        for (int k = 0; k < 12; ++k) {
            text += Cat("key", Num(k), "=", Num(s * 100 + k), "\r\n");
        }
    }
    Put(text);
    const auto readAll = [this] {
        int found = 0;
        for (const std::u16string& section : Sections()) {
            for (int k = 0; k < 12; ++k) {
                found += Get(section, U(Cat("key", Num(k)))) != u"<default>" ? 1 : 0;
            }
        }
        return found;
    };
    std::uint64_t parses = CIniProfile::ParseCount();
    EXPECT_EQ(readAll(), 600);
    EXPECT_EQ(CIniProfile::ParseCount() - parses, 1u);

    // Our own write reads the file at most once and leaves the new version parsed.
    CIniProfile::DropCache();
    parses = CIniProfile::ParseCount();
    ASSERT_TRUE(Write(u"def7", u"key3", u"changed"));
    EXPECT_EQ(CIniProfile::ParseCount() - parses, 1u);
    ASSERT_TRUE(Write(u"def8", u"key3", u"changed too"));
    EXPECT_EQ(readAll(), 600);
    EXPECT_EQ(Get(u"def7", u"key3"), u"changed");
    EXPECT_EQ(CIniProfile::ParseCount() - parses, 1u);

    // A change made by another process is seen at the next read, with one more parse.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ChildExit(CIniProfile::WriteString(Ini(), u"def9", u"key1", u"from another process"));
    }
    ASSERT_EQ(WaitExitCode(child), 0);
    EXPECT_EQ(Get(u"def9", u"key1"), u"from another process");
    EXPECT_EQ(readAll(), 600);
    EXPECT_EQ(CIniProfile::ParseCount() - parses, 2u);

    // So is an in-place edit by some other program.
    WriteFileBytes(Path(), "[def0]\r\nkey0=edited\r\n");
    EXPECT_EQ(Get(u"def0", u"key0"), u"edited");
    EXPECT_EQ(Sections().size(), 1u);
}

TEST_F(IniProcesses, AWriteKeepsTheFilesPermissions) {
    Put("[s]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
    ASSERT_TRUE(Write(u"s", u"k", u"2"));
    struct stat info {};
    ASSERT_EQ(::stat(Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(IniProcesses, AFileThatCannotBeWrittenWholeIsLeftAlone) {
    // A directory where the file should be: the write fails and changes nothing.
    const std::string folder = m_dir.File("folder.ini");
    std::filesystem::create_directory(folder);
    std::u16string error;
    EXPECT_FALSE(CIniProfile::WriteString(CKSString::FromUtf8(folder), u"s", u"k", u"v", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    // A file too large to be a configuration is read only in part and never rewritten, since a
    // rewrite would cut it short.
    Put("[s]\r\nk=1\r\n");
    std::filesystem::resize_file(Path(), (std::uintmax_t{16} << 20) + 10);
    CIniProfile::DropCache();
    EXPECT_EQ(Get(u"s", u"k"), u"1");
    EXPECT_FALSE(CIniProfile::WriteString(Ini(), u"s", u"k", u"2", &error));
    EXPECT_NE(error.find(u"too large"), std::u16string::npos);
    EXPECT_EQ(std::filesystem::file_size(Path()), (std::uintmax_t{16} << 20) + 10);
    EXPECT_FALSE(std::filesystem::exists(Path() + ".lock"));
}

// Random bytes, biased towards the characters that shape an INI file: reading never fails or
// hangs, an unchanged document gives back its bytes exactly, and a write changes only its line.
TEST_F(IniProcesses, SeededRandomInputReadsAndWritesSafely) {
    std::mt19937 random(7);
    const std::string alphabet = "[]=; \t\v\r\n\"'#ab\xC3\xA9\xFF\xFE\xEF\xBB\xBF\xD8\xDC";
    const std::string marks[] = {"", "", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"};
    for (int round = 0; round < 400; ++round) {
        std::string bytes = marks[random() % 5];
        const std::size_t length = random() % 200;
        for (std::size_t i = 0; i < length; ++i) {
            bytes += (random() % 4 == 0) ? static_cast<char>(random() & 0xFF)
                                         : alphabet[random() % alphabet.size()];
        }
        const ini::Document document = ini::Document::Parse(bytes);
        ASSERT_EQ(document.Serialize(), bytes) << "round " << round;

        Put(bytes);
        const std::vector<std::u16string> sections = Sections();
        for (const std::u16string& section : sections) {
            (void)Get(section, u"a");
        }
        if (round % 4 != 0) {
            continue; // every write waits for the disk twice; a quarter of the rounds suffice
        }
        const std::u16string target = sections.empty() ? u"new" : sections[random() % sections.size()];
        if (!CIniProfile::CheckSectionName(target).empty()) {
            EXPECT_FALSE(CIniProfile::WriteString(Ini(), target, u"fresh key", u"v"));
            EXPECT_EQ(Bytes(), bytes);
            continue;
        }
        ASSERT_TRUE(Write(target, u"fresh key", u"fresh value")) << "round " << round;
        EXPECT_EQ(Get(target, u"FRESH KEY"), u"fresh value");
        // Every old line is still there, in order, with its bytes; one line (two for a new
        // section) was added and at most one terminator was supplied.
        const ini::Document after = ini::Document::Parse(Bytes());
        const auto& oldLines = document.Lines();
        const auto& newLines = after.Lines();
        ASSERT_GE(newLines.size(), oldLines.size() + 1)
            << ::testing::PrintToString(bytes) << " -> " << ::testing::PrintToString(Bytes());
        ASSERT_LE(newLines.size(), oldLines.size() + 2);
        std::size_t j = 0;
        int changedEndings = 0;
        for (const ini::Line& line : oldLines) {
            // The odd last byte of a cut UTF-16 file is the one byte a write may replace.
            std::string_view raw = line.raw;
            const bool cutUnit = document.GetEncoding() != ini::Encoding::Utf8 && raw.size() % 2 != 0;
            if (cutUnit) {
                raw.remove_suffix(1);
            }
            const auto same = [&](const ini::Line& other) {
                return cutUnit ? std::string_view(other.raw).substr(0, raw.size()) == raw : other.raw == raw;
            };
            while (j < newLines.size() && !same(newLines[j])) {
                ++j;
            }
            ASSERT_LT(j, newLines.size()) << "round " << round << ": a line was lost";
            changedEndings += newLines[j].end != line.end ? 1 : 0;
            ++j;
        }
        EXPECT_LE(changedEndings, 1);
        if (!sections.empty()) {
            EXPECT_EQ(Sections(), sections);
        }
    }
}
