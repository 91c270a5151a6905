#include "support/KSError.h"

#include <cstring>

CKSError::CKSError(std::u16string what, CKSString file, std::u16string reason, int code)
    : m_what(std::move(what)), m_file(std::move(file)), m_reason(std::move(reason)), m_code(code) {}

CKSError CKSError::FromErrno(std::u16string what, CKSString file, int code) {
    return CKSError(std::move(what), std::move(file), ErrnoText(code), code);
}

std::u16string CKSError::Text() const {
    std::u16string text = m_what;
    if (!m_file.IsEmpty()) {
        text += u' ';
        text += m_file.View();
    }
    if (!m_reason.empty()) {
        text += u": ";
        text += m_reason;
    }
    return text;
}

std::u16string ErrnoText(int code) {
    if (code == 0) {
        return u"unknown error";
    }
    return Utf8ToUtf16(std::strerror(code));
}
