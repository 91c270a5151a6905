#include "generators/LocaleDateFormat.h"

#include <QLocale>
#include <QString>

#include <cctype>
#include <charconv>

namespace {

void AppendNumber(std::string& out, int value, int width) {
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
    (void)ec;
    for (int pad = width - static_cast<int>(end - digits); pad > 0; --pad) {
        out.push_back('0');
    }
    out.append(digits, end);
}

std::string TimeWithSeconds(const QLocale& locale) {
    QString pattern = locale.timeFormat(QLocale::ShortFormat);
    if (!pattern.contains(QLatin1Char('s'))) {
        pattern.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    }
    return pattern.toStdString();
}

} // namespace

const CLocaleDateFormat& CLocaleDateFormat::System() {
    static const CLocaleDateFormat format = [] {
        const QLocale locale = QLocale::system();
        return CLocaleDateFormat(locale.dateFormat(QLocale::ShortFormat).toStdString(),
                                 TimeWithSeconds(locale));
    }();
    return format;
}

CLocaleDateFormat::CLocaleDateFormat(const std::string& datePattern, const std::string& timePattern)
    : m_date(Compile(datePattern)), m_time(Compile(timePattern)) {
    const QLocale locale = QLocale::system();
    for (int day = 1; day <= 7; ++day) {
        // Calendar days count from 0 for Sunday; the locale counts Monday 1 .. Sunday 7.
        m_dayNames[static_cast<std::size_t>(day % 7)] =
            locale.dayName(day, QLocale::ShortFormat).toStdString();
        m_longDayNames[static_cast<std::size_t>(day % 7)] =
            locale.dayName(day, QLocale::LongFormat).toStdString();
    }
    for (int month = 1; month <= 12; ++month) {
        m_monthNames[static_cast<std::size_t>(month - 1)] =
            locale.monthName(month, QLocale::ShortFormat).toStdString();
        m_longMonthNames[static_cast<std::size_t>(month - 1)] =
            locale.monthName(month, QLocale::LongFormat).toStdString();
    }
    m_am = locale.amText().toStdString();
    m_pm = locale.pmText().toStdString();
}

std::vector<CLocaleDateFormat::Token> CLocaleDateFormat::Compile(const std::string& pattern) {
    std::vector<Token> tokens;
    auto literal = [&tokens](char c) {
        if (tokens.empty() || tokens.back().field != Field::Text) {
            tokens.push_back({Field::Text, {}});
        }
        tokens.back().text.push_back(c);
    };
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'') {
            // Quoted text; two quotes in a row stand for one.
            ++i;
            if (i < pattern.size() && pattern[i] == '\'') {
                literal('\'');
                ++i;
                continue;
            }
            while (i < pattern.size() && pattern[i] != '\'') {
                literal(pattern[i++]);
            }
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) {
            ++run;
        }
        auto take = [&](Field field, std::size_t used) {
            tokens.push_back({field, {}});
            i += used;
        };
        switch (c) {
        case 'd':
            take(run >= 4   ? Field::DayNameLong
                 : run == 3 ? Field::DayName
                 : run == 2 ? Field::Day2
                            : Field::Day,
                 std::min<std::size_t>(run, 4));
            break;
        case 'M':
            take(run >= 4   ? Field::MonthNameLong
                 : run == 3 ? Field::MonthName
                 : run == 2 ? Field::Month2
                            : Field::Month,
                 std::min<std::size_t>(run, 4));
            break;
        case 'y':
            take(run >= 4 ? Field::Year4 : Field::Year2, run >= 4 ? 4 : std::min<std::size_t>(run, 2));
            break;
        case 'h':
            take(run >= 2 ? Field::Hour12Two : Field::Hour12, std::min<std::size_t>(run, 2));
            break;
        case 'H':
            take(run >= 2 ? Field::Hour24Two : Field::Hour24, std::min<std::size_t>(run, 2));
            break;
        case 'm':
            take(run >= 2 ? Field::Minute2 : Field::Minute, std::min<std::size_t>(run, 2));
            break;
        case 's':
            take(run >= 2 ? Field::Second2 : Field::Second, std::min<std::size_t>(run, 2));
            break;
        case 'z':
            take(Field::Millis, std::min<std::size_t>(run, 3));
            break;
        case 'A':
        case 'a':
            if (i + 1 < pattern.size() && (pattern[i + 1] == 'P' || pattern[i + 1] == 'p')) {
                take(c == 'A' ? Field::AmPmUpper : Field::AmPmLower, 2);
            } else {
                take(c == 'A' ? Field::AmPmUpper : Field::AmPmLower, 1);
            }
            break;
        case 't':
            i += run; // the time zone: generated moments have none
            break;
        default:
            literal(c);
            ++i;
            break;
        }
    }
    // A pattern ending in a dropped time zone leaves a trailing blank behind.
    while (!tokens.empty() && tokens.back().field == Field::Text && !tokens.back().text.empty() &&
           tokens.back().text.back() == ' ') {
        tokens.back().text.pop_back();
        if (tokens.back().text.empty()) {
            tokens.pop_back();
        }
    }
    return tokens;
}

void CLocaleDateFormat::Append(std::string& out, const std::vector<Token>& tokens,
                               const CalendarTime& m) const {
    const int hour12 = m.hour % 12 == 0 ? 12 : m.hour % 12;
    for (const Token& token : tokens) {
        switch (token.field) {
        case Field::Text:
            out += token.text;
            break;
        case Field::Day:
            AppendNumber(out, m.day, 1);
            break;
        case Field::Day2:
            AppendNumber(out, m.day, 2);
            break;
        case Field::DayName:
            out += m_dayNames[static_cast<std::size_t>(m.dayOfWeek % 7)];
            break;
        case Field::DayNameLong:
            out += m_longDayNames[static_cast<std::size_t>(m.dayOfWeek % 7)];
            break;
        case Field::Month:
            AppendNumber(out, m.month, 1);
            break;
        case Field::Month2:
            AppendNumber(out, m.month, 2);
            break;
        case Field::MonthName:
            out += m_monthNames[static_cast<std::size_t>((m.month + 11) % 12)];
            break;
        case Field::MonthNameLong:
            out += m_longMonthNames[static_cast<std::size_t>((m.month + 11) % 12)];
            break;
        case Field::Year2:
            AppendNumber(out, m.year % 100, 2);
            break;
        case Field::Year4:
            AppendNumber(out, m.year, 4);
            break;
        case Field::Hour12:
            AppendNumber(out, hour12, 1);
            break;
        case Field::Hour12Two:
            AppendNumber(out, hour12, 2);
            break;
        case Field::Hour24:
            AppendNumber(out, m.hour, 1);
            break;
        case Field::Hour24Two:
            AppendNumber(out, m.hour, 2);
            break;
        case Field::Minute:
            AppendNumber(out, m.minute, 1);
            break;
        case Field::Minute2:
            AppendNumber(out, m.minute, 2);
            break;
        case Field::Second:
            AppendNumber(out, m.second, 1);
            break;
        case Field::Second2:
            AppendNumber(out, m.second, 2);
            break;
        case Field::Millis:
            AppendNumber(out, m.millisecond, 3);
            break;
        case Field::AmPmUpper:
            out += m.hour < 12 ? m_am : m_pm;
            break;
        case Field::AmPmLower: {
            std::string text = m.hour < 12 ? m_am : m_pm;
            for (char& c : text) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            out += text;
            break;
        }
        }
    }
}

std::string CLocaleDateFormat::FormatDate(const CalendarTime& moment) const {
    std::string out;
    Append(out, m_date, moment);
    return out;
}

std::string CLocaleDateFormat::FormatTime(const CalendarTime& moment) const {
    std::string out;
    Append(out, m_time, moment);
    return out;
}

std::string CLocaleDateFormat::Format(const CalendarTime& moment) const {
    std::string out;
    out.reserve(32);
    Append(out, m_date, moment);
    out.push_back(' ');
    Append(out, m_time, moment);
    return out;
}
