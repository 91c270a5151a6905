#pragma once
// A failure as the windows show it: what failed, on which file (when a file is concerned) and the
// system's reason in words. One shape from the core to the windows, whatever the core got (an
// errno value, a reason text); a default-made error is no failure.

#include "support/KSString.h"

#include <string>

class CKSError {
public:
    CKSError() = default;
    CKSError(std::u16string what, CKSString file, std::u16string reason, int code = 0);
    // The reason is the system's text for the errno value (or "unknown error" for 0).
    static CKSError FromErrno(std::u16string what, CKSString file, int code);

    bool Failed() const { return !m_what.empty(); }
    const std::u16string& What() const { return m_what; }
    const CKSString& File() const { return m_file; }
    const std::u16string& Reason() const { return m_reason; }
    // The errno value behind the reason; 0 when none is known.
    int Code() const { return m_code; }
    // "<what> <file>: <reason>", or "<what>: <reason>" when no file is concerned.
    std::u16string Text() const;

private:
    std::u16string m_what;
    CKSString m_file{u""};
    std::u16string m_reason;
    int m_code = 0;
};

// The system's words for an errno value; "unknown error" for 0.
std::u16string ErrnoText(int code);
