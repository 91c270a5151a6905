#include "support/KSTime.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <ctime>
#include <sys/stat.h>

namespace {

std::int64_t LocalOffsetSeconds(std::time_t at) {
    std::tm local{};
    localtime_r(&at, &local);
    return local.tm_gmtoff;
}

CKSTime FromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
    // A file's time stamp can be anything; moments outside the file-time range saturate.
    constexpr std::int64_t kEpochSeconds = static_cast<std::int64_t>(kFileTimeUnixEpoch / 10000000ULL);
    constexpr std::int64_t kLastSeconds =
        static_cast<std::int64_t>(UINT64_MAX / 10000000ULL) - kEpochSeconds - 1;
    constexpr std::int64_t kDaySeconds = 86400;
    if (seconds < -kEpochSeconds - kDaySeconds) {
        return CKSTime(0);
    }
    if (seconds > kLastSeconds - kDaySeconds) {
        return CKSTime(UINT64_MAX);
    }
    const std::int64_t local = seconds + LocalOffsetSeconds(static_cast<std::time_t>(seconds));
    if (local < -kEpochSeconds) {
        return CKSTime(0);
    }
    const auto units = static_cast<std::uint64_t>(local + kEpochSeconds) * 10000000ULL +
                       static_cast<std::uint64_t>(nanoseconds / 100);
    return CKSTime(units);
}

} // namespace

std::uint64_t SystemTimeAsFileTime() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto units = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    return kFileTimeUnixEpoch + static_cast<std::uint64_t>(units);
}

bool FileTimeToCalendar(std::uint64_t fileTime, CalendarTime& out) {
    // Days from 1601-01-01 with the proleptic Gregorian calendar (civil-from-days).
    const std::uint64_t totalSeconds = fileTime / 10000000ULL;
    std::int64_t days = static_cast<std::int64_t>(totalSeconds / 86400ULL);
    const std::uint64_t secondOfDay = totalSeconds % 86400ULL;
    if (days > 3000000) {
        return false; // beyond the year 9999
    }
    out.dayOfWeek = static_cast<int>((days + 1) % 7); // 1601-01-01 was a Monday
    // Shift to days since 1970-01-01 for the civil algorithm.
    days -= 134774;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    out.year = static_cast<int>(y);
    out.month = static_cast<int>(m);
    out.day = static_cast<int>(d);
    out.hour = static_cast<int>(secondOfDay / 3600);
    out.minute = static_cast<int>((secondOfDay / 60) % 60);
    out.second = static_cast<int>(secondOfDay % 60);
    out.millisecond = static_cast<int>((fileTime / 10000ULL) % 1000ULL);
    return true;
}

CKSTime CKSTime::Now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
    return FromUnix(nanoseconds / 1000000000LL, nanoseconds % 1000000000LL);
}

bool CKSTime::FromFile(const CKSString& path) {
    struct stat info {};
    if (::stat(path.ToUtf8().c_str(), &info) != 0) {
        return false;
    }
    *this = FromUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    return true;
}

void CKSTime::AddMilliseconds(std::int64_t milliseconds) {
    // Unsigned arithmetic, saturating at both ends of the file-time range.
    constexpr std::uint64_t kUnitsPerMillisecond = 10000;
    const std::uint64_t magnitude = milliseconds < 0 ? 0 - static_cast<std::uint64_t>(milliseconds)
                                                     : static_cast<std::uint64_t>(milliseconds);
    const std::uint64_t units =
        magnitude > UINT64_MAX / kUnitsPerMillisecond ? UINT64_MAX : magnitude * kUnitsPerMillisecond;
    if (milliseconds < 0) {
        m_fileTime = units > m_fileTime ? 0 : m_fileTime - units;
    } else {
        m_fileTime = units > UINT64_MAX - m_fileTime ? UINT64_MAX : m_fileTime + units;
    }
}

CalendarTime CKSTime::ToCalendar() const {
    CalendarTime fields;
    FileTimeToCalendar(m_fileTime, fields);
    return fields;
}

bool CKSTime::IsToday() const {
    const CalendarTime now = Now().ToCalendar();
    const CalendarTime mine = ToCalendar();
    return now.year == mine.year && now.month == mine.month && now.day == mine.day;
}

CKSString FormatShortDate(const CKSTime& localTime) {
    const CalendarTime fields = localTime.ToCalendar();
    const QLocale locale = QLocale::system();
    return CKSString::FromQString(
        locale.toString(QDate(fields.year, fields.month, fields.day), QLocale::ShortFormat));
}

CKSString FormatShortTime(const CKSTime& localTime, bool withSeconds) {
    const CalendarTime fields = localTime.ToCalendar();
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (withSeconds && !format.contains(QLatin1Char('s'))) {
        // The long format would add the time zone; seconds are all that is wanted.
        format.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    } else if (!withSeconds) {
        // Some short formats (the C locale's "HH:mm:ss") carry seconds: drop them with the
        // separator before them and any fraction after them.
        static const QRegularExpression seconds(QStringLiteral("[^Hhmapt ]?ss?(\\.z+)?"));
        format.remove(seconds);
    }
    return CKSString::FromQString(locale.toString(QTime(fields.hour, fields.minute, fields.second), format));
}
