#include "support/ChecksumLines.h"

#include "support/PosixFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace {

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// The escapes the tools write: \\, \n and \r. Any other backslash makes the line unreadable, as
// it does for them.
bool Unescape(std::string_view text, std::string& plain) {
    plain.clear();
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain.push_back(text[i]);
            continue;
        }
        if (i + 1 == text.size()) {
            return false;
        }
        const char next = text[++i];
        if (next == '\\') {
            plain.push_back('\\');
        } else if (next == 'n') {
            plain.push_back('\n');
        } else if (next == 'r') {
            plain.push_back('\r');
        } else {
            return false;
        }
    }
    return true;
}

bool TakeName(std::string_view name, bool escaped, std::string& path) {
    if (name.empty()) {
        return false;
    }
    if (escaped) {
        return Unescape(name, path);
    }
    path.assign(name);
    return true;
}

// "MD5 (name) = hex", as the tools write with --tag.
bool ParseTagged(std::string_view line, bool escaped, CChecksumLine& parsed) {
    const std::size_t open = line.find(" (");
    const std::size_t close = line.rfind(") = ");
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2) {
        return false;
    }
    const std::string_view tag = line.substr(0, open);
    if (tag != "MD5" && tag != "SHA1" && tag != "SHA256") {
        return false;
    }
    const std::string_view digits = line.substr(close + 4);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) {
        return false;
    }
    parsed.digits.assign(digits);
    return TakeName(line.substr(open + 2, close - open - 2), escaped, parsed.path);
}

} // namespace

std::string FormatChecksumLine(std::string_view hex, std::string_view path) {
    std::string escapedName;
    escapedName.reserve(path.size());
    bool escaped = false;
    for (const char c : path) {
        if (c == '\\' || c == '\n' || c == '\r') {
            escaped = true;
            escapedName += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : "\\r";
        } else {
            escapedName.push_back(c);
        }
    }
    std::string line = escaped ? "\\" : "";
    for (const char c : hex) {
        line.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    line += "  ";
    line += escapedName;
    line.push_back('\n');
    return line;
}

bool ParseChecksumLine(std::string_view line, CChecksumLine& parsed) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    // A list written on Windows ends its lines with CR LF; a name's own CR is always escaped.
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped) {
        line.remove_prefix(1);
    }
    std::size_t digits = 0;
    while (digits < line.size() && IsHexDigit(line[digits])) {
        ++digits;
    }
    // "<hex>  <name>" or "<hex> *<name>"; the name is the whole rest, spaces and all.
    if (digits > 0 && line.size() > digits + 2 && line[digits] == ' ' &&
        (line[digits + 1] == ' ' || line[digits + 1] == '*')) {
        parsed.digits.assign(line.substr(0, digits));
        return TakeName(line.substr(digits + 2), escaped, parsed.path);
    }
    return ParseTagged(line, escaped, parsed);
}

bool CChecksumLineReader::Fill() {
    constexpr std::size_t kReadBytes = 16 * 1024;
    if (m_start > 0) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    const std::size_t had = m_buffer.size();
    m_buffer.resize(had + kReadBytes);
    const long n = ReadFromDescriptor(m_fd, m_buffer.data() + had, kReadBytes);
    m_buffer.resize(had + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n == 0) {
        m_ended = true;
    }
    return n >= 0;
}

CChecksumLineReader::EResult CChecksumLineReader::Next(std::string& line) {
    std::size_t searched = m_start;
    for (;;) {
        const std::size_t end = m_buffer.find('\n', searched);
        if (end != std::string::npos && end - m_start <= kMaxLineBytes) {
            line.assign(m_buffer, m_start, end - m_start);
            m_start = end + 1;
            ++m_lineNumber;
            return EResult::Line;
        }
        if (m_buffer.size() - m_start > kMaxLineBytes) {
            ++m_lineNumber;
            return EResult::TooLong;
        }
        if (m_ended) {
            if (m_start == m_buffer.size()) {
                return EResult::End;
            }
            // The last line has no line feed.
            line.assign(m_buffer, m_start, std::string::npos);
            m_start = m_buffer.size();
            ++m_lineNumber;
            return EResult::Line;
        }
        searched = m_buffer.size();
        const std::size_t consumed = m_start;
        if (!Fill()) {
            return EResult::Failed;
        }
        searched -= consumed;
    }
}

CChecksumLineReader::EResult
CChecksumLineReader::ReadAll(const std::function<bool(bool parsed, CChecksumLine& line)>& take) {
    std::string line;
    for (;;) {
        const EResult result = Next(line);
        if (result != EResult::Line) {
            return result;
        }
        if (line.empty() || line == "\r") {
            continue;
        }
        CChecksumLine parsed;
        const bool ok = ParseChecksumLine(line, parsed);
        if (!take(ok, parsed)) {
            return EResult::End;
        }
    }
}
