#include "support/KSHexConverter.h"

namespace {

std::u16string ToHex(const unsigned char* bytes, std::size_t length) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text(2 * length, u'0');
    for (std::size_t i = 0; i < length; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace

CKSHexConverter::CKSHexConverter(const void* bytes, std::size_t length)
    : CKSString(ToHex(static_cast<const unsigned char*>(bytes), length)) {}

CKSHexConverter::CKSHexConverter(std::uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    Assign(std::u16string_view(ToHex(bytes, 4)));
}
