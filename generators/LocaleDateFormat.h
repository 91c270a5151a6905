#pragma once
// The user's short date and time formats, compiled once: generated text shows dates the way the
// user's locale writes them, and a CSV of a million rows must not parse a locale pattern per row.

#include "support/KSTime.h"

#include <array>
#include <string>
#include <vector>

class CLocaleDateFormat {
public:
    // The system locale's short date format and its time format with seconds.
    static const CLocaleDateFormat& System();
    // Formats from explicit patterns in the locale's pattern language ("d/M/yy", "h:mm:ss AP").
    CLocaleDateFormat(const std::string& datePattern, const std::string& timePattern);

    // "date time" of a moment, as UTF-8.
    std::string Format(const CalendarTime& moment) const;
    std::string FormatDate(const CalendarTime& moment) const;
    std::string FormatTime(const CalendarTime& moment) const;

private:
    enum class Field {
        Text,
        Day,
        Day2,
        DayName,
        DayNameLong,
        Month,
        Month2,
        MonthName,
        MonthNameLong,
        Year2,
        Year4,
        Hour12,
        Hour12Two,
        Hour24,
        Hour24Two,
        Minute,
        Minute2,
        Second,
        Second2,
        Millis,
        AmPmUpper,
        AmPmLower
    };
    struct Token {
        Field field;
        std::string text;
    };
    static std::vector<Token> Compile(const std::string& pattern);
    void Append(std::string& out, const std::vector<Token>& tokens, const CalendarTime& moment) const;

    std::vector<Token> m_date;
    std::vector<Token> m_time;
    std::array<std::string, 7> m_dayNames;
    std::array<std::string, 7> m_longDayNames;
    std::array<std::string, 12> m_monthNames;
    std::array<std::string, 12> m_longMonthNames;
    std::string m_am;
    std::string m_pm;
};
