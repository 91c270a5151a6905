#include "generators/KSRovezezodavLogger.h"

#include "support/KSLogger.h"

namespace {

// Code points of the bytes 0x80 to 0x9F; 0 where the code page defines nothing.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::u16string wide;
    wide.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0) {
            const char16_t mapped = kHighControls[byte - 0x80];
            wide.push_back(mapped != 0 ? mapped : u'\uFFFD');
        } else {
            wide.push_back(static_cast<char16_t>(byte));
        }
    }
    return Utf16ToUtf8(wide);
}

void CKSRovezezodavLogger::Notify(std::string_view text) {
    const std::string utf8 = Cp1252ToUtf8(text);
    if (IOutput* output = GetOutput()) {
        output->WriteA(utf8);
        return;
    }
    // The diagnostic output shows one message per line.
    KSDebugOutputA(!utf8.empty() && utf8.back() == '\n' ? utf8 : utf8 + "\n");
}
