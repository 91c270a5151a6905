#include "support/KSTime.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(Time, FileTimesToCalendarFields) {
    CalendarTime fields;
    ASSERT_TRUE(FileTimeToCalendar(0, fields));
    EXPECT_EQ(fields.year, 1601);
    EXPECT_EQ(fields.month, 1);
    EXPECT_EQ(fields.day, 1);
    EXPECT_EQ(fields.dayOfWeek, 1); // a Monday

    ASSERT_TRUE(FileTimeToCalendar(kFileTimeUnixEpoch, fields));
    EXPECT_EQ(fields.year, 1970);
    EXPECT_EQ(fields.dayOfWeek, 4); // a Thursday

    // 2000-02-29 12:34:56.789 UTC is 951,827,696.789 seconds after 1970.
    const std::uint64_t leapDay = kFileTimeUnixEpoch + 951827696ULL * 10000000ULL + 7890000ULL;
    ASSERT_TRUE(FileTimeToCalendar(leapDay, fields));
    EXPECT_EQ(fields.year, 2000);
    EXPECT_EQ(fields.month, 2);
    EXPECT_EQ(fields.day, 29);
    EXPECT_EQ(fields.dayOfWeek, 2); // a Tuesday
    EXPECT_EQ(fields.hour, 12);
    EXPECT_EQ(fields.minute, 34);
    EXPECT_EQ(fields.second, 56);
    EXPECT_EQ(fields.millisecond, 789);

    EXPECT_FALSE(FileTimeToCalendar(UINT64_MAX, fields));
}

TEST(Time, AddingSaturatesAtBothEnds) {
    CKSTime time(50000);
    time.AddMilliseconds(-10);
    EXPECT_EQ(time.Get(), 0u);
    time.AddMilliseconds(2);
    EXPECT_EQ(time.Get(), 20000u);
    time.AddMilliseconds(INT64_MAX);
    EXPECT_EQ(time.Get(), UINT64_MAX);
    time.AddMilliseconds(INT64_MIN);
    EXPECT_EQ(time.Get(), 0u);

    const CKSTime now = CKSTime::Now();
    CKSTime later = now;
    later.AddMilliseconds(1);
    EXPECT_TRUE(now.IsBefore(later));
    EXPECT_FALSE(later.IsBefore(now));
    EXPECT_TRUE(now.IsToday());
}

TEST(Time, FileTimeStampsFarFromNowAreSafe) {
    TempDir temp;
    const std::string path = temp.File("stamped");
    WriteFileBytes(path, "x");
    CKSTime time;
    EXPECT_FALSE(time.FromFile(CKSString::FromUtf8(temp.File("missing"))));

    // The year 1900 lies before 1970; 1600 before the file-time range itself.
    const struct {
        std::int64_t seconds;
        bool saturatesLow;
    } stamps[] = {{-2208988800, false}, {-11676096000 - 86400 * 2, true}, {4102444800, false}};
    for (const auto& stamp : stamps) {
        const timespec times[2] = {{stamp.seconds, 0}, {stamp.seconds, 0}};
        struct stat info {};
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0 || ::stat(path.c_str(), &info) != 0 ||
            info.st_mtim.tv_sec != stamp.seconds) {
            continue; // the file system cannot hold this stamp
        }
        ASSERT_TRUE(time.FromFile(CKSString::FromUtf8(path)));
        if (stamp.saturatesLow) {
            EXPECT_EQ(time.Get(), 0u);
        } else {
            EXPECT_GT(time.Get(), 0u);
        }
    }
}

TEST(Time, StampsBeyondTheFileTimeRangeSaturate) {
    // tmpfs keeps 64-bit time stamps; most disk file systems cannot hold this one.
    const std::string path = "/dev/shm/fakemill-time-" + std::to_string(::getpid());
    WriteFileBytes(path, "x");
    const std::int64_t seconds = 2000000000000; // about the year 65,000
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    struct stat info {};
    const bool stamped = ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 &&
                         ::stat(path.c_str(), &info) == 0 && info.st_mtim.tv_sec == seconds;
    CKSTime time;
    const bool read = stamped && time.FromFile(CKSString::FromUtf8(path));
    ::unlink(path.c_str());
    if (!stamped) {
        GTEST_SKIP() << "no file system here holds the stamp";
    }
    ASSERT_TRUE(read);
    EXPECT_EQ(time.Get(), UINT64_MAX);
}

TEST(Time, ShortTimesShowSecondsOnlyWhenAsked) {
    // 12:34:56 on 2000-02-29: the seconds are the only "56" in the text.
    const CKSTime time(kFileTimeUnixEpoch + 951827696ULL * 10000000ULL);
    const std::string withSeconds = FormatShortTime(time, true).ToUtf8();
    const std::string without = FormatShortTime(time, false).ToUtf8();
    EXPECT_NE(withSeconds.find("56"), std::string::npos) << withSeconds;
    EXPECT_EQ(without.find("56"), std::string::npos) << without;
    EXPECT_NE(without.find("34"), std::string::npos) << without;
    EXPECT_EQ(without.find("::"), std::string::npos) << without;
    EXPECT_NE(without.back(), ':') << without;
}
