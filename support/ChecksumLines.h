#pragma once
// The line format of md5sum, sha1sum and sha256sum, one parser and one writer for every part of
// the program that reads or writes it. A line is "<hex>  <name>" (or "<hex> *<name>" in binary
// mode); a name holding a backslash, a line feed or a carriage return is written with those
// escaped (\\, \n, \r) and its line starts with a backslash. Reading also takes the tagged form
// ("SHA256 (<name>) = <hex>"), blanks before the line and CRLF line ends, as the tools do.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

struct CChecksumLine {
    // Hexadecimal digits as found (any case).
    std::string digits;
    // UTF-8 bytes, unescaped.
    std::string path;
};

// One line with its line feed; the digits are written in lower case.
std::string FormatChecksumLine(std::string_view hex, std::string_view path);
// Reads one line (with or without its line end); false when it is no checksum line.
bool ParseChecksumLine(std::string_view line, CChecksumLine& parsed);

// Reads a file line by line with a bound on the length of a line, so that a file with no line
// ends (or a device that never ends) cannot take memory without limit.
class CChecksumLineReader {
public:
    static constexpr std::size_t kMaxLineBytes = 64 * 1024;
    enum class EResult { Line, End, TooLong, Failed };

    // Reads from the descriptor, which the caller keeps open and closes.
    explicit CChecksumLineReader(int fd) : m_fd(fd) {}

    // The next line without its line feed (a carriage return before it is kept). TooLong when a
    // line passes kMaxLineBytes; Failed with errno set when a read fails.
    EResult Next(std::string& line);
    // The number of the line Next answered last, from 1.
    std::size_t LineNumber() const { return m_lineNumber; }
    // Reads the rest of the list: hands every line that is not blank to take, parsed (true) or
    // not a checksum line (false); take answers false to stop there. Answers End (all read, or
    // take stopped), TooLong or Failed as Next does.
    EResult ReadAll(const std::function<bool(bool parsed, CChecksumLine& line)>& take);

private:
    bool Fill();

    int m_fd;
    std::string m_buffer;
    std::size_t m_start = 0;
    std::size_t m_lineNumber = 0;
    bool m_ended = false;
};
