#include "support/KSString.h"

#include <QChar>
#include <QString>

namespace {

bool IsIgnoredInNames(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

char16_t FoldCase(char16_t c) {
    if (c < 0x80) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
    }
    return static_cast<char16_t>(QChar::toLower(static_cast<char32_t>(c)));
}

} // namespace

CKSString::CKSString(const char16_t* text) {
    Assign(text);
}

CKSString::CKSString(std::u16string_view text) {
    Assign(text);
}

CKSString::CKSString(const std::u16string& text) {
    Assign(std::u16string_view(text));
}

CKSString::CKSString(std::u16string&& text) : m_hasBuffer(true), m_text(std::move(text)) {
    m_capacity = 2 * (m_text.size() + 1);
}

CKSString CKSString::FromUtf8(std::string_view text) {
    return CKSString(Utf8ToUtf16(text));
}

CKSString CKSString::FromQString(const QString& text) {
    return CKSString(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                         static_cast<std::size_t>(text.size())));
}

void CKSString::Reserve(std::size_t characters) {
    m_hasBuffer = true;
    if (characters > m_capacity) {
        m_capacity = 2 * characters;
    }
}

void CKSString::Assign(const char16_t* text, const char16_t* more) {
    if (text == nullptr) {
        m_text.clear();
        m_hasBuffer = false;
        m_capacity = 0;
        return;
    }
    std::u16string joined(text);
    if (more != nullptr) {
        joined += more;
    }
    m_capacity = 0;
    Reserve(joined.size() + 1);
    m_text = std::move(joined);
}

void CKSString::Assign(std::u16string_view text) {
    m_capacity = 0;
    Reserve(text.size() + 1);
    m_text.assign(text);
}

void CKSString::AssignUtf8(const char* text) {
    Assign(text == nullptr ? std::u16string() : Utf8ToUtf16(text));
}

void CKSString::Append(std::u16string_view text) {
    Reserve(m_text.size() + text.size() + 1);
    m_text.append(text);
}

void CKSString::Lower() {
    for (char16_t& c : m_text) {
        c = FoldCase(c);
    }
}

int CKSString::CompareNames(std::u16string_view a, std::u16string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        while (i < a.size() && IsIgnoredInNames(a[i])) {
            ++i;
        }
        while (j < b.size() && IsIgnoredInNames(b[j])) {
            ++j;
        }
        const bool aDone = i >= a.size();
        const bool bDone = j >= b.size();
        if (aDone || bDone) {
            return aDone == bDone ? 0 : (aDone ? -1 : 1);
        }
        const char16_t ca = FoldCase(a[i]);
        const char16_t cb = FoldCase(b[j]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
}

void CKSString::FormatWithValue(std::u16string_view format, const CKSFormatArg& value, std::size_t capacity) {
    if (capacity == 0) {
        capacity = 256;
    }
    std::u16string whole = KSFormatWide(format, std::span(&value, 1));
    if (whole.size() + 1 > capacity) {
        capacity *= 2;
    }
    if (whole.size() + 1 > capacity) {
        whole.resize(capacity - 1);
    }
    m_text = std::move(whole);
    m_hasBuffer = true;
    m_capacity = capacity;
}

void CKSString::FormatWithTexts(std::u16string_view format, std::u16string_view first,
                                std::u16string_view second) {
    const CKSFormatArg args[] = {CKSFormatArg(first), CKSFormatArg(second)};
    m_text = KSFormatWide(format, args);
    m_hasBuffer = true;
    m_capacity = format.size() + first.size() + second.size() + 1;
}

std::string CKSString::ToUtf8() const {
    return Utf16ToUtf8(m_text);
}

QString CKSString::ToQString() const {
    return QString::fromUtf16(m_text.data(), static_cast<qsizetype>(m_text.size()));
}

bool CKSPathName::EnsureBackslash() {
    if (IsEmpty()) {
        return false;
    }
    if (View().back() != u'/') {
        Append(u"/");
    }
    return true;
}

CKSPathName CKSPathName::Join(std::u16string_view more) const {
    std::u16string base(View());
    while (base.size() > 1 && base.back() == u'/') {
        base.pop_back();
    }
    while (!more.empty() && more.front() == u'/') {
        more.remove_prefix(1);
    }
    if (base.empty()) {
        return CKSPathName(more);
    }
    if (more.empty()) {
        return CKSPathName(base);
    }
    if (base.back() != u'/') {
        base += u'/';
    }
    base += more;
    return CKSPathName(base);
}

CKSStringPair::CKSStringPair(std::u16string_view text, char16_t separator)
    : m_whole(text), m_separator(separator) {
    const std::size_t at = text.find(separator);
    if (at == std::u16string_view::npos) {
        m_first = CKSString(text);
        m_second = CKSString(u"");
    } else {
        m_hasSeparator = true;
        m_first = CKSString(text.substr(0, at));
        m_second = CKSString(text.substr(at + 1));
    }
}

CKSUTF8String::CKSUTF8String(std::u16string_view text) : m_bytes(Utf16ToUtf8(text)) {}
