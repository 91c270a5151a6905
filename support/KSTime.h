#pragma once
// A moment as a 64-bit file time: 100-nanosecond units since 1601-01-01 UTC, the unit the
// generated dates and the discriminator are built from.

#include "support/KSString.h"

#include <chrono>
#include <cstdint>

// Seconds between 1601-01-01 and 1970-01-01, in file-time units.
inline constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

// Calendar fields of a moment, months and days counted from 1.
struct CalendarTime {
    int year = 1601;
    int month = 1;
    int day = 1;
    int dayOfWeek = 1; // 0 Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The current system time as a file time (UTC).
std::uint64_t SystemTimeAsFileTime();
// Converts a file time to UTC calendar fields; false when it is beyond what the calendar holds.
bool FileTimeToCalendar(std::uint64_t fileTime, CalendarTime& out);

class CKSTime {
public:
    CKSTime() = default;
    explicit CKSTime(std::uint64_t fileTime) : m_fileTime(fileTime) {}
    virtual ~CKSTime() = default;

    // The local time, as a file time counted in local units.
    static CKSTime Now();
    // The last-write time of a file, in local units; false when it cannot be read.
    bool FromFile(const CKSString& path);
    void AddMilliseconds(std::int64_t milliseconds);
    bool IsBefore(const CKSTime& other) const { return m_fileTime < other.m_fileTime; }
    // Same year, month and day as now.
    bool IsToday() const;
    CalendarTime ToCalendar() const;
    std::uint64_t Get() const { return m_fileTime; }

private:
    std::uint64_t m_fileTime = 0;
};

// The locale's short date ("12/8/26") and time ("5:17 PM") of a moment, as the user sees dates.
CKSString FormatShortDate(const CKSTime& localTime);
CKSString FormatShortTime(const CKSTime& localTime, bool withSeconds);
