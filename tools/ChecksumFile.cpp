#include "tools/ChecksumFile.h"

#include "support/PosixFile.h"
#include "tools/HashKinds.h"

#include <QSaveFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace {

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::string Unescape(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == '\\' || next == 'n' || next == 'r') {
                plain.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : '\\');
                ++i;
                continue;
            }
        }
        plain.push_back(text[i]);
    }
    return plain;
}

// "MD5 (name) = hex", as the tools write with --tag.
bool ParseTagged(std::string_view line, bool escaped, ChecksumEntry& entry) {
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
    const std::string_view name = line.substr(open + 2, close - open - 2);
    entry.path = CKSString::FromUtf8(escaped ? Unescape(name) : std::string(name));
    entry.digits = std::string(digits);
    return !name.empty();
}

} // namespace

std::string FormatChecksumLine(std::string_view hex, const CKSString& path) {
    const std::string name = path.ToUtf8();
    std::string escapedName;
    bool escaped = false;
    for (const char c : name) {
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

bool ParseChecksumLine(std::string_view line, ChecksumEntry& entry) {
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
        const std::string_view name = line.substr(digits + 2);
        entry.path = CKSString::FromUtf8(escaped ? Unescape(name) : std::string(name));
        entry.digits = std::string(line.substr(0, digits));
        return true;
    }
    return ParseTagged(line, escaped, entry);
}

bool WriteChecksumFile(const CKSString& file, const std::vector<ChecksumEntry>& entries, int& error) {
    error = 0;
    if (!PathFitsPlatform(file)) {
        error = ENAMETOOLONG;
        return false;
    }
    std::string text;
    for (const ChecksumEntry& entry : entries) {
        text += FormatChecksumLine(entry.digits, entry.path);
    }
    QSaveFile out(file.ToQString());
    errno = 0;
    if (!out.open(QIODevice::WriteOnly)) {
        error = errno;
        return false;
    }
    if (out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        error = errno;
        out.cancelWriting();
        return false;
    }
    errno = 0;
    if (!out.commit()) {
        error = errno;
        return false;
    }
    return true;
}

bool ReadChecksumFile(const CKSString& file, ChecksumListing& listing, int& error) {
    error = 0;
    listing = ChecksumListing();
    if (!PathFitsPlatform(file)) {
        error = ENAMETOOLONG;
        return false;
    }
    errno = 0;
    std::ifstream in(file.ToUtf8(), std::ios::binary);
    if (!in) {
        error = errno;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line == "\r") {
            continue;
        }
        ChecksumEntry entry;
        if (ParseChecksumLine(line, entry)) {
            listing.entries.push_back(std::move(entry));
        } else {
            ++listing.unreadableLines;
        }
    }
    if (in.bad()) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

std::uint32_t HashCodeForDigits(std::size_t digits) {
    switch (digits) {
    case 8:
        return kHashCodeCrc;
    case 32:
        return kHashCodeMd5;
    case 40:
        return kHashCodeSha1;
    case 64:
        return kHashCodeSha256;
    default:
        return 0;
    }
}

CKSString ResolveChecksumPath(const CKSString& checksumFile, const CKSString& listed) {
    const std::filesystem::path path(listed.ToUtf8());
    if (path.is_absolute()) {
        return listed;
    }
    const std::filesystem::path folder = std::filesystem::path(checksumFile.ToUtf8()).parent_path();
    return CKSString::FromUtf8((folder / path).lexically_normal().string());
}
