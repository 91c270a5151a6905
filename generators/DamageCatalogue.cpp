#include "generators/DamageCatalogue.h"

#include <algorithm>
#include <array>

namespace {

using O = EReaderOutcome;

constexpr std::array<CDamageClassInfo, 4> kCommon{{
    {"truncate", "cut at a seeded point past the header, as a write that stopped", O::Fails,
     "fails or warns where the format can tell the end is missing"},
    {"flip", "one to three seeded bits turned past the header", O::Unknown,
     "fails where the format checks its bytes, otherwise reads other content"},
    {"zero", "a seeded run of 8 to 512 zero bytes past the header, as a block never written", O::Unknown,
     "fails where the format checks its bytes, otherwise reads other content"},
    {"empty", "0 bytes", O::Fails, "fails: nothing to read"},
}};

constexpr std::array<CDamageClassInfo, 5> kPng{{
    {"crc", "the CRC of a seeded chunk wrong", O::Fails, "fails to decode: CRC error in a chunk"},
    {"length", "the length of a seeded chunk past the end of the file", O::Fails,
     "fails to decode: a chunk runs past the end of the file"},
    {"dimensions", "IHDR width or height 0 or above 2^31 - 1 (its CRC correct)", O::Fails,
     "fails to decode: invalid IHDR image dimensions"},
    {"no-iend", "the IEND chunk left out", O::Fails,
     "fails a strict check: the file does not end with an IEND chunk"},
    {"bad-signature", "one byte of the 8-byte signature changed", O::Fails,
     "fails to decode: not a PNG file"},
}};

constexpr std::array<CDamageClassInfo, 4> kJpeg{{
    {"no-eoi", "the EOI marker left out", O::Warns, "decodes with a warning: premature end of the file"},
    {"scan-cut", "the entropy-coded data cut at a seeded point", O::Warns,
     "decodes with a warning: premature end of the file, the rest of the picture grey"},
    {"bad-marker", "a seeded marker before the scan replaced by a reserved code", O::Fails,
     "fails to decode: unsupported marker"},
    {"dimensions", "SOF width or height 0, or 65,535 x 65,535", O::Fails,
     "fails to decode: an empty picture or one beyond the decoder's limit"},
}};

constexpr std::array<CDamageClassInfo, 3> kGif{{
    {"dimensions", "logical screen 65,535 x 65,535", O::Decodes,
     "decodes: the screen is reported as 65,535 x 65,535 (a reader that allocates it needs 4 GiB or more)"},
    {"no-trailer", "the trailer byte 0x3B left out", O::Fails,
     "fails in strict readers (giftext) at the missing trailer; lenient ones show the picture"},
    {"lzw", "a code beyond the LZW table at a seeded place in the image data, then the end code", O::Fails,
     "fails to decode: the image data is defective"},
}};

constexpr std::array<CDamageClassInfo, 3> kBmp{{
    {"size", "the file size in the header wrong", O::Fails,
     "fails when the header claims more than the file holds, warns when it claims less"},
    {"offset", "the pixel data offset past the end of the file", O::Fails,
     "fails to decode: insufficient image data"},
    {"dimensions", "width or height 0, negative, or 2^31 - 1", O::Fails,
     "fails to decode: zero, negative or excessive size"},
}};

constexpr std::array<CDamageClassInfo, 1> kBin{{
    {"crc", "the CRC-32 trailer wrong by one bit (needs CRC=1)", O::Fails,
     "a trailer check (fakemill-cli crc --trailer) reports a mismatch"},
}};

constexpr std::array<CDamageClassInfo, 5> kCsv{{
    {"quote", "the last field opened with a quote never closed, as a writer that lost its closing quote",
     O::Fails, "a strict reader raises: unexpected end of data"},
    {"ragged", "a seeded row with a column too many or too few", O::Warns,
     "reads every row; one has a column too many or too few"},
    {"mixed-eol", "a few seeded rows end in another line end", O::Decodes, "reads every row"},
    {"bom", "a byte-order mark before the first field (needs an encoding without one)", O::Warns,
     "reads every row; the first field begins with U+FEFF"},
    {"invalid-utf8", "a byte sequence that is not UTF-8 in a seeded row (needs a UTF-8 encoding)", O::Fails,
     "fails to decode as UTF-8"},
}};

constexpr std::array<CDamageClassInfo, 4> kTxt{{
    {"invalid-utf8", "a byte sequence that is not UTF-8 in a seeded line (needs a UTF-8 encoding)", O::Fails,
     "fails to decode as UTF-8"},
    {"nul", "a NUL character in a seeded line", O::Warns, "decodes, but tools take the file for binary data"},
    {"mixed-eol", "a few seeded lines end in another line end", O::Decodes, "decodes: line ends are mixed"},
    {"long-line", "one seeded line of 1 MiB", O::Decodes, "decodes: one line is 1 MiB long"},
}};

constexpr std::array<std::string_view, 7> kFormats{"png", "jpeg", "gif", "bmp", "bin", "csv", "txt"};

} // namespace

std::span<const CDamageClassInfo> CommonDamageClasses() {
    return kCommon;
}

std::span<const CDamageClassInfo> OwnDamageClasses(std::string_view format) {
    if (format == "png") {
        return kPng;
    }
    if (format == "jpeg") {
        return kJpeg;
    }
    if (format == "gif") {
        return kGif;
    }
    if (format == "bmp") {
        return kBmp;
    }
    if (format == "bin") {
        return kBin;
    }
    if (format == "csv") {
        return kCsv;
    }
    if (format == "txt") {
        return kTxt;
    }
    return {};
}

std::vector<CDamageClassInfo> DamageClassesOf(std::string_view format) {
    std::vector<CDamageClassInfo> classes(kCommon.begin(), kCommon.end());
    const std::span<const CDamageClassInfo> own = OwnDamageClasses(format);
    classes.insert(classes.end(), own.begin(), own.end());
    return classes;
}

std::vector<std::string_view> OwnDamageClassNames(std::string_view format) {
    std::vector<std::string_view> names;
    for (const CDamageClassInfo& info : OwnDamageClasses(format)) {
        names.push_back(info.name);
    }
    return names;
}

const CDamageClassInfo* FindDamageClass(std::string_view format, std::string_view name) {
    for (const std::span<const CDamageClassInfo> list : {CommonDamageClasses(), OwnDamageClasses(format)}) {
        const auto found = std::find_if(list.begin(), list.end(),
                                        [name](const CDamageClassInfo& info) { return info.name == name; });
        if (found != list.end()) {
            return &*found;
        }
    }
    return nullptr;
}

std::span<const std::string_view> DamageFormats() {
    return kFormats;
}

void ExpectFromCatalogue(std::string_view format, CDamageRecord& record) {
    if (const CDamageClassInfo* info = FindDamageClass(format, record.damageClass)) {
        record.outcome = info->outcome;
        record.expected = std::string(info->reader);
    }
}
