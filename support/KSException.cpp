#include "support/KSException.h"

CKSException::CKSException(std::u16string_view text) : CKSString(text), m_utf8(ToUtf8()) {}

CKSException::CKSException(std::string_view text) : CKSString(Utf8ToUtf16(text)), m_utf8(ToUtf8()) {}

CKSException::CKSException(std::u16string_view format, std::uint32_t code)
    : CKSString(KSFormatCapped(format.size() + 64, format, code)), m_code(code), m_utf8(ToUtf8()) {}

CKSException::CKSException(std::string_view format, std::uint32_t code)
    : CKSException(std::u16string_view(Utf8ToUtf16(format)), code) {}

CKSException::CKSException(std::u16string_view format, std::u16string_view text)
    : CKSString(KSFormat(format, text)), m_utf8(ToUtf8()) {}

CKSException::CKSException(std::string_view format, std::u16string_view text)
    : CKSException(std::u16string_view(Utf8ToUtf16(format)), text) {}
