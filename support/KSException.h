#pragma once
// The two exception types of a unit of work. A CKSFatalException ends a generation run; a plain
// CKSException skips one file. Both are thrown by value and caught by reference, the fatal one
// first.

#include "support/KSString.h"

#include <cstdint>
#include <exception>
#include <string>

class CKSException : public CKSString, public std::exception {
public:
    explicit CKSException(std::u16string_view text);
    explicit CKSException(std::string_view text);
    // The format applied to the code, as in "Failed to write to file: %u".
    CKSException(std::u16string_view format, std::uint32_t code);
    CKSException(std::string_view format, std::uint32_t code);
    // The format applied to one text, as in "Property not found: %s".
    CKSException(std::u16string_view format, std::u16string_view text);
    CKSException(std::string_view format, std::u16string_view text);

    std::uint32_t GetCode() const noexcept { return m_code; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    std::uint32_t m_code = 0;
    std::string m_utf8;
};

class CKSFatalException : public CKSException {
public:
    CKSFatalException(std::u16string_view format, std::uint32_t code) : CKSException(format, code) {}
    CKSFatalException(std::string_view format, std::uint32_t code) : CKSException(format, code) {}
};
