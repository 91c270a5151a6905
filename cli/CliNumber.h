#pragma once
// Numbers on the command line, written as in definitions: decimal, 0x hexadecimal or leading-zero
// octal, with an optional unit suffix K (1,000), KB (1,024), M (1,000,000), MB, GB or TB. Unlike
// a definition value, a command-line number must be whole: any stray character, a minus sign or a
// value beyond 64 bits is refused, so that a typing error names the value instead of silently
// becoming another number.

#include <cstdint>
#include <string_view>

bool ParseCliNumber(std::string_view text, std::uint64_t& value);
