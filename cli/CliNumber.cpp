#include "cli/CliNumber.h"

#include <array>
#include <utility>

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

} // namespace

bool ParseCliNumber(std::string_view text, std::uint64_t& value) {
    // The base as definitions detect it: "0x..." hexadecimal, "0..." octal, otherwise decimal.
    unsigned base = 10;
    if (text.size() >= 2 && text[0] == '0') {
        if (text.size() > 2 && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            text.remove_prefix(2);
        } else {
            base = 8;
        }
    }
    std::uint64_t number = 0;
    std::size_t digits = 0;
    while (digits < text.size()) {
        const int digit = DigitValue(text[digits]);
        if (digit >= static_cast<int>(base)) {
            break;
        }
        if (number > (UINT64_MAX - static_cast<unsigned>(digit)) / base) {
            return false;
        }
        number = number * base + static_cast<unsigned>(digit);
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    static constexpr std::array<std::pair<std::string_view, std::uint64_t>, 7> kUnits{{
        {"", 1},
        {"K", 1000},
        {"KB", 1024},
        {"M", 1000000},
        {"MB", 1ULL << 20},
        {"GB", 1ULL << 30},
        {"TB", 1ULL << 40},
    }};
    const std::string_view suffix = text.substr(digits);
    for (const auto& [unit, multiplier] : kUnits) {
        if (suffix == unit) {
            if (number > UINT64_MAX / multiplier) {
                return false;
            }
            value = number * multiplier;
            return true;
        }
    }
    return false;
}
