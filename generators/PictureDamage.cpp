#include "generators/PictureDamage.h"

#include "generators/DamageCatalogue.h"
#include "generators/ImageEncoder.h"
#include "support/Crc32.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

std::uint32_t ReadBig32(const std::string& bytes, std::size_t at) {
    return (std::uint32_t{static_cast<unsigned char>(bytes[at])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 8) |
           std::uint32_t{static_cast<unsigned char>(bytes[at + 3])};
}

std::string Big32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::string Little32(std::uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

unsigned Byte(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

// Replaces bytes at offset by others of the same length, recording the change.
void Replace(std::string& bytes, std::size_t offset, std::string_view written, CDamageRecord& record) {
    record.AddChange(offset, std::string_view(bytes).substr(offset, written.size()), written);
    bytes.replace(offset, written.size(), written);
}

// Removes everything from offset on, recording the cut.
void CutAt(std::string& bytes, std::size_t offset, CDamageRecord& record) {
    record.AddChange(offset, std::string_view(bytes).substr(offset), std::string_view());
    bytes.resize(offset);
}

void Expect(CDamageRecord& record, EReaderOutcome outcome, std::string_view expected) {
    record.outcome = outcome;
    record.expected = std::string(expected);
}

// --- PNG -----------------------------------------------------------------------------------

constexpr std::size_t kPngSignature = 8;
constexpr std::size_t kPngHeaderEnd = 33; // signature and IHDR

struct CPngChunk {
    std::size_t offset;
    std::uint32_t length;
    std::string type;
};

std::vector<CPngChunk> PngChunks(const std::string& bytes) {
    std::vector<CPngChunk> chunks;
    std::size_t at = kPngSignature;
    while (at + 12 <= bytes.size()) {
        const std::uint32_t length = ReadBig32(bytes, at);
        if (length > bytes.size() - at - 12) {
            break; // not a chunk the file holds whole
        }
        chunks.push_back({at, length, bytes.substr(at + 4, 4)});
        at += 12 + length;
    }
    return chunks;
}

void RecomputeCrc(std::string& bytes, const CPngChunk& chunk) {
    const std::size_t crcAt = chunk.offset + 8 + chunk.length;
    const std::uint32_t crc = UpdateCrc32(0, bytes.data() + chunk.offset + 4, chunk.length + 4);
    bytes.replace(crcAt, 4, Big32(crc));
}

void DamagePng(std::string& bytes, CSeededStream& random, CDamageRecord& record) {
    const std::vector<CPngChunk> chunks = PngChunks(bytes);
    const std::string_view name = record.damageClass;
    if (chunks.size() < 2) {
        return;
    }
    ExpectFromCatalogue("png", record);
    if (name == "crc") {
        const CPngChunk& chunk = chunks[static_cast<std::size_t>(random.Below(chunks.size()))];
        const std::size_t at = chunk.offset + 8 + chunk.length + static_cast<std::size_t>(random.Below(4));
        Replace(bytes, at, std::string(1, static_cast<char>(Byte(bytes, at) ^ (1u << random.Below(8)))),
                record);
    } else if (name == "length") {
        // Any chunk after IHDR, whose length the readers check before its content.
        const CPngChunk& chunk = chunks[1 + static_cast<std::size_t>(random.Below(chunks.size() - 1))];
        const std::uint64_t rest = bytes.size() - chunk.offset - 8;
        Replace(bytes, chunk.offset, Big32(static_cast<std::uint32_t>(rest + random.Between(1, 65536))),
                record);
    } else if (name == "dimensions") {
        // A writer that lost the size writes 0; one that took a signed value writes a huge one.
        const std::size_t at = random.Below(2) == 0 ? 16 : 20;
        const std::uint32_t value =
            random.Below(2) == 0 ? 0 : 0x80000000u + static_cast<std::uint32_t>(random.Below(0x7FFFFFFF));
        std::string damaged = bytes;
        damaged.replace(at, 4, Big32(value));
        RecomputeCrc(damaged, chunks[0]);
        Replace(bytes, at, damaged.substr(at, 4), record);
        Replace(bytes, 29, damaged.substr(29, 4), record);
    } else if (name == "no-iend" && chunks.back().type == "IEND") {
        CutAt(bytes, chunks.back().offset, record);
    } else if (name == "bad-signature") {
        const std::size_t at = static_cast<std::size_t>(random.Below(kPngSignature));
        Replace(bytes, at, std::string(1, static_cast<char>(Byte(bytes, at) ^ (1u << random.Below(8)))),
                record);
    } else if (IsCommonDamage(name)) {
        record.changes = ApplyCommonDamage(name, bytes, 0, kPngHeaderEnd, random);
        if (name == damage::kEmpty) {
            Expect(record, EReaderOutcome::Fails, "fails to decode: an empty file has no PNG signature");
        } else if (name == damage::kTruncate) {
            Expect(record, EReaderOutcome::Fails,
                   "fails to decode: the file ends inside a chunk or before IEND");
        } else {
            Expect(record, EReaderOutcome::Fails,
                   "fails to decode: a chunk's CRC or length no longer matches");
        }
    }
}

// --- JPEG ----------------------------------------------------------------------------------

struct CJpegLayout {
    std::vector<std::size_t> markers; // segments between SOI and SOS, by the offset of their 0xFF
    std::optional<std::size_t> frame; // the SOF segment
    std::size_t scanStart = 0;        // the first byte of entropy-coded data
    bool endsWithEoi = false;
};

bool IsFrameMarker(unsigned code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

CJpegLayout JpegLayoutOf(const std::string& bytes) {
    CJpegLayout layout;
    std::size_t at = 2;
    while (at + 4 <= bytes.size() && Byte(bytes, at) == 0xFF) {
        const unsigned code = Byte(bytes, at + 1);
        if (code == 0xFF) {
            ++at;
            continue;
        }
        const std::size_t length = (Byte(bytes, at + 2) << 8) | Byte(bytes, at + 3);
        if (code == 0xDA) {
            layout.scanStart = std::min(bytes.size(), at + 2 + length);
            break;
        }
        layout.markers.push_back(at);
        if (IsFrameMarker(code)) {
            layout.frame = at;
        }
        at += 2 + length;
    }
    layout.endsWithEoi =
        bytes.size() >= 2 && Byte(bytes, bytes.size() - 2) == 0xFF && Byte(bytes, bytes.size() - 1) == 0xD9;
    return layout;
}

// A bit of entropy-coded data whose flip a decoder meets as a marker of a reserved code, which it
// cannot skip: a byte one bit short of 0xFF before a byte from 0x02 to 0xBF, or the stuffing zero
// after a 0xFF, which becomes 0x08.
struct CMarkerFlip {
    std::size_t offset;
    unsigned bit;
};

bool IsReservedMarker(unsigned code) {
    return code >= 0x02 && code <= 0xBF;
}

std::vector<CMarkerFlip> MarkerFlips(const std::string& bytes, std::size_t from, std::size_t end) {
    std::vector<CMarkerFlip> flips;
    for (std::size_t at = std::max<std::size_t>(from, 1); at + 1 < end; ++at) {
        const unsigned byte = Byte(bytes, at);
        const unsigned missing = 0xFF ^ byte;
        if (missing != 0 && (missing & (missing - 1)) == 0 && IsReservedMarker(Byte(bytes, at + 1))) {
            flips.push_back({at, static_cast<unsigned>(__builtin_ctz(missing))});
        } else if (byte == 0 && Byte(bytes, at - 1) == 0xFF) {
            flips.push_back({at, 3});
        }
    }
    return flips;
}

void DamageJpeg(std::string& bytes, CSeededStream& random, CDamageRecord& record) {
    const CJpegLayout layout = JpegLayoutOf(bytes);
    const std::string_view name = record.damageClass;
    if (layout.scanStart == 0 || !layout.endsWithEoi) {
        return;
    }
    const std::size_t eoi = bytes.size() - 2;
    ExpectFromCatalogue("jpeg", record);
    if (name == "no-eoi") {
        CutAt(bytes, eoi, record);
    } else if (name == "scan-cut") {
        CutAt(bytes, static_cast<std::size_t>(random.Between(layout.scanStart + 1, eoi - 1)), record);
    } else if (name == "bad-marker" && !layout.markers.empty()) {
        // The reserved codes 0x02 to 0xBF: no decoder knows what follows them.
        const std::size_t at = layout.markers[static_cast<std::size_t>(random.Below(layout.markers.size()))];
        Replace(bytes, at + 1, std::string(1, static_cast<char>(random.Between(0x02, 0xBF))), record);
    } else if (name == "dimensions" && layout.frame && *layout.frame + 9 <= bytes.size()) {
        const std::size_t at = *layout.frame + 5; // height, then width, big-endian
        switch (random.Below(3)) {
        case 0:
            Replace(bytes, at, std::string(2, '\0'), record);
            break;
        case 1:
            Replace(bytes, at + 2, std::string(2, '\0'), record);
            break;
        default:
            Replace(bytes, at, std::string(4, '\xFF'), record);
            break;
        }
    } else if (name == damage::kEmpty) {
        record.changes = ApplyCommonDamage(name, bytes, 0, 0, random);
        Expect(record, EReaderOutcome::Fails, "fails to decode: an empty file");
    } else if (name == damage::kTruncate) {
        CutAt(bytes, static_cast<std::size_t>(random.Between(layout.scanStart, eoi + 1)), record);
        Expect(record, EReaderOutcome::Warns, "decodes with a warning: premature end of the file");
    } else if (name == damage::kZero) {
        // Over the end of the scan and its EOI, as a preallocated file whose writer died: zeros
        // inside the scan alone would only change pixels.
        const std::size_t length = static_cast<std::size_t>(
            std::min<std::uint64_t>(random.Between(8, 512), bytes.size() - layout.scanStart));
        const std::size_t at = bytes.size() - length;
        Replace(bytes, at, std::string(length, '\0'), record);
        Expect(record, EReaderOutcome::Warns, "decodes with a warning: the EOI marker is gone under zeros");
    } else if (name == damage::kFlip) {
        // Bits that turn scan bytes into a reserved marker; without such a bit, one in EOI.
        const std::vector<CMarkerFlip> candidates = MarkerFlips(bytes, layout.scanStart, eoi);
        const std::uint64_t flips =
            std::min<std::uint64_t>(random.Between(1, 3), std::max<std::size_t>(1, candidates.size()));
        std::vector<CMarkerFlip> chosen;
        for (std::uint64_t n = 0; n < flips && !candidates.empty(); ++n) {
            const CMarkerFlip& pick = candidates[static_cast<std::size_t>(random.Below(candidates.size()))];
            if (std::none_of(chosen.begin(), chosen.end(),
                             [&](const CMarkerFlip& f) { return f.offset == pick.offset; })) {
                chosen.push_back(pick);
            }
        }
        if (chosen.empty()) {
            chosen.push_back({eoi + 1, 0}); // EOI becomes a second SOI, which no decoder accepts
        }
        for (const CMarkerFlip& flip : chosen) {
            Replace(bytes, flip.offset,
                    std::string(1, static_cast<char>(Byte(bytes, flip.offset) ^ (1u << flip.bit))), record);
        }
        Expect(record, EReaderOutcome::Fails,
               "fails to decode: a marker where the entropy-coded data should be");
    }
}

// --- GIF -----------------------------------------------------------------------------------

struct CGifLayout {
    bool valid = false;
    std::size_t dataStart = 0; // the LZW minimum code size byte
    int minCodeSize = 0;
    std::uint64_t pixels = 0;
    // The image data with the file offset of each of its bytes (sub-block lengths left out).
    std::string data;
    std::vector<std::size_t> dataOffsets;
    // Where each sub-block's data starts and how long it is.
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    std::size_t end = 0; // after the image data's terminator
    bool trailer = false;
};

// Skips the sub-blocks starting at at; answers the offset after their terminator, or none when
// the file ends first.
std::optional<std::size_t> SkipSubBlocks(const std::string& bytes, std::size_t at,
                                         std::vector<std::pair<std::size_t, std::size_t>>* blocks = nullptr) {
    while (at < bytes.size()) {
        const std::size_t length = Byte(bytes, at);
        if (length == 0) {
            return at + 1;
        }
        if (at + 1 + length > bytes.size()) {
            return std::nullopt;
        }
        if (blocks != nullptr) {
            blocks->emplace_back(at + 1, length);
        }
        at += 1 + length;
    }
    return std::nullopt;
}

CGifLayout GifLayoutOf(const std::string& bytes) {
    CGifLayout layout;
    if (bytes.size() < 13 || bytes.compare(0, 3, "GIF") != 0) {
        return layout;
    }
    const unsigned flags = Byte(bytes, 10);
    std::size_t at = 13 + ((flags & 0x80) != 0 ? 3u * (2u << (flags & 7)) : 0u);
    while (at < bytes.size() && Byte(bytes, at) == 0x21) {
        const std::optional<std::size_t> next = SkipSubBlocks(bytes, at + 2);
        if (!next) {
            return layout;
        }
        at = *next;
    }
    if (at + 11 > bytes.size() || Byte(bytes, at) != 0x2C) {
        return layout;
    }
    const std::uint64_t width = Byte(bytes, at + 5) | (Byte(bytes, at + 6) << 8);
    const std::uint64_t height = Byte(bytes, at + 7) | (Byte(bytes, at + 8) << 8);
    const unsigned imageFlags = Byte(bytes, at + 9);
    at += 10 + ((imageFlags & 0x80) != 0 ? 3u * (2u << (imageFlags & 7)) : 0u);
    if (at >= bytes.size()) {
        return layout;
    }
    layout.dataStart = at;
    layout.minCodeSize = static_cast<int>(Byte(bytes, at));
    layout.pixels = width * height;
    const std::optional<std::size_t> end = SkipSubBlocks(bytes, at + 1, &layout.blocks);
    for (const auto& [start, length] : layout.blocks) {
        layout.data.append(bytes, start, length);
        for (std::size_t i = 0; i < length; ++i) {
            layout.dataOffsets.push_back(start + i);
        }
    }
    if (end) {
        layout.end = *end;
        layout.trailer = layout.end < bytes.size() && Byte(bytes, layout.end) == 0x3B;
    }
    layout.valid = layout.minCodeSize >= 2 && layout.minCodeSize <= 11;
    return layout;
}

// One code read from the LZW data: where it is, how wide, and the table it was read against.
struct CLzwCode {
    std::uint64_t bit;
    int width;
    std::uint32_t value;
    std::uint32_t nextFree;
    bool firstAfterClear;
};

struct CLzwWalk {
    std::vector<CLzwCode> codes;
    bool complete = false; // every pixel decoded from valid codes
};

// The code of that width at that bit of the image data, least significant bit first.
std::uint32_t ReadCode(const std::string& data, std::uint64_t bit, int width) {
    std::uint32_t code = 0;
    for (int i = 0; i < width; ++i) {
        const std::uint64_t at = bit + static_cast<std::uint64_t>(i);
        code |= static_cast<std::uint32_t>((Byte(data, static_cast<std::size_t>(at / 8)) >> (at % 8)) & 1u)
                << i;
    }
    return code;
}

// Reads codes the way giflib does until every pixel is decoded, the data ends, or a code is not
// in the table.
CLzwWalk WalkLzw(const std::string& data, int minCodeSize, std::uint64_t pixels) {
    constexpr std::uint32_t kMaxCodes = 4096;
    CLzwWalk walk;
    const std::uint32_t clear = 1u << minCodeSize;
    const std::uint32_t endCode = clear + 1;
    std::vector<std::uint32_t> lengths(kMaxCodes, 1);
    int width = minCodeSize + 1;
    std::uint32_t next = clear + 2;
    bool first = true;
    std::uint64_t previous = 0;
    std::uint64_t decoded = 0;
    std::uint64_t bit = 0;
    const std::uint64_t bits = std::uint64_t{data.size()} * 8;
    while (decoded < pixels) {
        if (bit + static_cast<std::uint64_t>(width) > bits) {
            return walk;
        }
        const std::uint32_t code = ReadCode(data, bit, width);
        walk.codes.push_back({bit, width, code, next, first});
        bit += static_cast<std::uint64_t>(width);
        if (code == clear) {
            width = minCodeSize + 1;
            next = clear + 2;
            first = true;
            continue;
        }
        if (code == endCode) {
            return walk;
        }
        std::uint64_t length = 1;
        if (first) {
            first = false;
        } else {
            if (code < next) {
                length = code < clear ? 1 : lengths[code];
            } else if (code == next && next < kMaxCodes) {
                length = previous + 1;
            } else {
                return walk;
            }
            if (next < kMaxCodes) {
                lengths[next] = static_cast<std::uint32_t>(std::min<std::uint64_t>(previous + 1, UINT32_MAX));
                ++next;
                if (next == (1u << width) && width < 12) {
                    ++width;
                }
            }
        }
        previous = length;
        decoded += length;
    }
    walk.complete = true;
    return walk;
}

// Decodes the image data the way giflib does, which takes codes beyond its table for pixels and
// fails only when the end code, the end of the data or a broken chain of prefixes comes first.
bool GiflibDecodes(const std::string& data, int minCodeSize, std::uint64_t pixels) {
    constexpr std::uint32_t kMaxCode = 4095;
    constexpr std::uint32_t kNoSuchCode = 4098;
    const std::uint32_t clear = 1u << minCodeSize;
    const std::uint32_t endCode = clear + 1;
    std::vector<std::uint32_t> prefix(kMaxCode + 1, kNoSuchCode);
    std::vector<std::uint8_t> suffix(kMaxCode + 1, 0);
    std::uint32_t runningCode = endCode + 1;
    int runningBits = minCodeSize + 1;
    std::uint32_t maxCode1 = 1u << runningBits;
    std::uint32_t lastCode = kNoSuchCode;
    std::uint64_t decoded = 0;
    std::uint64_t bit = 0;
    const std::uint64_t bits = std::uint64_t{data.size()} * 8;
    const auto prefixChar = [&](std::uint32_t code) {
        for (std::uint32_t i = 0; code > clear && i++ <= kMaxCode;) {
            if (code > kMaxCode) {
                return kNoSuchCode;
            }
            code = prefix[code];
        }
        return code;
    };
    while (decoded < pixels) {
        if (bit + static_cast<std::uint64_t>(runningBits) > bits) {
            return false;
        }
        const std::uint32_t code = ReadCode(data, bit, runningBits);
        bit += static_cast<std::uint64_t>(runningBits);
        if (runningCode < kMaxCode + 2 && ++runningCode > maxCode1 && runningBits < 12) {
            maxCode1 <<= 1;
            ++runningBits;
        }
        if (code == endCode) {
            return false;
        }
        if (code == clear) {
            std::fill(prefix.begin(), prefix.end(), kNoSuchCode);
            runningCode = endCode + 1;
            runningBits = minCodeSize + 1;
            maxCode1 = 1u << runningBits;
            lastCode = kNoSuchCode;
            continue;
        }
        if (code < clear) {
            ++decoded;
        } else {
            std::uint32_t crntPrefix = code;
            std::uint64_t pushed = 0;
            if (prefix[code] == kNoSuchCode) {
                crntPrefix = lastCode;
                suffix[runningCode - 2] =
                    static_cast<std::uint8_t>(prefixChar(code == runningCode - 2 ? lastCode : code));
                ++pushed;
            }
            while (pushed < kMaxCode && crntPrefix > clear && crntPrefix <= kMaxCode) {
                ++pushed;
                crntPrefix = prefix[crntPrefix];
            }
            if (pushed >= kMaxCode || crntPrefix > kMaxCode) {
                return false;
            }
            decoded += pushed + 1;
        }
        if (lastCode != kNoSuchCode && runningCode - 2 <= kMaxCode &&
            prefix[runningCode - 2] == kNoSuchCode) {
            prefix[runningCode - 2] = lastCode;
            suffix[runningCode - 2] =
                static_cast<std::uint8_t>(prefixChar(code == runningCode - 2 ? lastCode : code));
        }
        lastCode = code;
    }
    return true;
}

void JudgeGif(const std::string& bytes, CDamageRecord& record) {
    if (GifDecodesWhole(bytes)) {
        Expect(record, EReaderOutcome::Decodes, "decodes: the pixels change, the format cannot tell");
    } else {
        Expect(record, EReaderOutcome::Fails, "fails to decode: the image data or its end is broken");
    }
}

void DamageGif(std::string& bytes, CSeededStream& random, CDamageRecord& record) {
    const CGifLayout layout = GifLayoutOf(bytes);
    const std::string_view name = record.damageClass;
    if (!layout.valid || layout.data.empty()) {
        return;
    }
    ExpectFromCatalogue("gif", record);
    if (name == "dimensions") {
        Replace(bytes, 6, std::string(4, '\xFF'), record);
    } else if (name == "no-trailer" && layout.trailer) {
        CutAt(bytes, layout.end, record);
    } else if (name == "lzw") {
        // A code above the next free entry of the table, where the table has room for more than
        // one (all ones at that width), at a seeded code in the first half of the data; then the
        // end code, as an encoder that lost its table and gave up. Decoders that take codes beyond
        // the table for garbage pixels still meet the end before the image is complete.
        const CLzwWalk walk = WalkLzw(layout.data, layout.minCodeSize, layout.pixels);
        const std::uint32_t clear = 1u << layout.minCodeSize;
        std::vector<const CLzwCode*> eligible;
        for (std::size_t i = 0; i + 1 < (walk.codes.size() + 1) / 2; ++i) {
            const CLzwCode& code = walk.codes[i];
            if (!code.firstAfterClear && code.nextFree + 1 < (1u << code.width) && code.value != clear &&
                code.value != clear + 1) {
                eligible.push_back(&code);
            }
        }
        if (eligible.empty()) {
            Expect(record, EReaderOutcome::Unknown, "the image data has no code that could be made invalid");
            return;
        }
        const CLzwCode& code = *eligible[static_cast<std::size_t>(random.Below(eligible.size()))];
        std::string damaged = bytes;
        const auto setBits = [&](std::uint64_t first, int width, std::uint32_t value) {
            for (int i = 0; i < width; ++i) {
                const std::uint64_t at = first + static_cast<std::uint64_t>(i);
                if (at / 8 >= layout.dataOffsets.size()) {
                    return;
                }
                char& byte = damaged[layout.dataOffsets[static_cast<std::size_t>(at / 8)]];
                const auto mask = static_cast<unsigned char>(1u << (at % 8));
                byte = static_cast<char>(((value >> i) & 1u) != 0 ? static_cast<unsigned char>(byte) | mask
                                                                  : static_cast<unsigned char>(byte) & ~mask);
            }
        };
        setBits(code.bit, code.width, (1u << code.width) - 1);
        setBits(code.bit + static_cast<std::uint64_t>(code.width), code.width, clear + 1);
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            if (bytes[at] != damaged[at]) {
                Replace(bytes, at, std::string(1, damaged[at]), record);
            }
        }
    } else if (name == damage::kEmpty) {
        record.changes = ApplyCommonDamage(name, bytes, 0, 0, random);
        Expect(record, EReaderOutcome::Fails, "fails to decode: an empty file");
    } else if (name == damage::kTruncate) {
        CutAt(bytes, static_cast<std::size_t>(random.Between(layout.dataStart, bytes.size() - 1)), record);
        Expect(record, EReaderOutcome::Fails,
               "fails to decode: the file ends before the image or its trailer");
    } else if (name == damage::kFlip || name == damage::kZero) {
        // Only in the image data: changed sub-block lengths would take the file apart at once.
        if (name == damage::kFlip) {
            const std::uint64_t flips = random.Between(1, 3);
            for (std::uint64_t n = 0; n < flips; ++n) {
                const std::size_t at =
                    layout.dataOffsets[static_cast<std::size_t>(random.Below(layout.dataOffsets.size()))];
                Replace(bytes, at,
                        std::string(1, static_cast<char>(Byte(bytes, at) ^ (1u << random.Below(8)))), record);
            }
        } else {
            const auto& [start, length] =
                layout.blocks[static_cast<std::size_t>(random.Below(layout.blocks.size()))];
            const std::size_t run =
                static_cast<std::size_t>(std::min<std::uint64_t>(random.Between(8, 512), length));
            Replace(bytes, start + static_cast<std::size_t>(random.Below(length - run + 1)),
                    std::string(run, '\0'), record);
        }
        JudgeGif(bytes, record);
    }
}

// --- BMP -----------------------------------------------------------------------------------

std::uint32_t ReadLittle32(const std::string& bytes, std::size_t at) {
    return Byte(bytes, at) | (Byte(bytes, at + 1) << 8) | (Byte(bytes, at + 2) << 16) |
           (std::uint32_t{Byte(bytes, at + 3)} << 24);
}

void DamageBmp(std::string& bytes, CSeededStream& random, CDamageRecord& record) {
    constexpr std::size_t kHeaders = 54; // file header and the 40-byte information header
    const std::string_view name = record.damageClass;
    if (bytes.size() < kHeaders || bytes.compare(0, 2, "BM") != 0) {
        return;
    }
    ExpectFromCatalogue("bmp", record);
    const std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
    if (name == "size") {
        if (random.Below(2) == 0) {
            Replace(bytes, 2, Little32(size + static_cast<std::uint32_t>(random.Between(1, 65536))), record);
            Expect(record, EReaderOutcome::Fails,
                   "fails to decode: the header claims more than the file holds");
        } else {
            Replace(bytes, 2, Little32(static_cast<std::uint32_t>(random.Below(size))), record);
            Expect(record, EReaderOutcome::Warns,
                   "decodes with a warning: length and file size do not match");
        }
    } else if (name == "offset") {
        Replace(bytes, 10, Little32(size + static_cast<std::uint32_t>(random.Between(1, 65536))), record);
    } else if (name == "dimensions") {
        // Width or height 0 or 2^31 - 1, or a negative width (a negative height is a picture stored
        // top down, which is valid).
        static constexpr std::array<std::pair<std::size_t, std::uint32_t>, 5> kChoices{
            {{18, 0}, {22, 0}, {18, 0x7FFFFFFFu}, {22, 0x7FFFFFFFu}, {18, 0xFFFFFFFBu}}};
        const auto& [at, value] = kChoices[static_cast<std::size_t>(random.Below(kChoices.size()))];
        Replace(bytes, at, Little32(value), record);
    } else if (IsCommonDamage(name)) {
        const std::uint32_t pixels = std::min<std::uint32_t>(ReadLittle32(bytes, 10), size);
        const bool cut = name == damage::kTruncate || name == damage::kEmpty;
        record.changes = ApplyCommonDamage(name, bytes, 0, cut ? kHeaders : pixels, random);
        if (cut) {
            Expect(record, EReaderOutcome::Fails,
                   "fails to decode: the header claims more than the file holds");
        } else {
            Expect(record, EReaderOutcome::Decodes, "decodes: the pixels change, the format cannot tell");
        }
    }
}

} // namespace

std::string_view PictureFormat(int imageType) {
    switch (imageType) {
    case kImageTypePng:
        return "png";
    case kImageTypeJpeg:
        return "jpeg";
    case kImageTypeGif:
        return "gif";
    default:
        return "bmp";
    }
}

void DamagePicture(std::string& bytes, int imageType, CSeededStream& random, CDamageRecord& record) {
    record.changes.clear();
    record.outcome = EReaderOutcome::Unknown;
    // Left empty when nothing could be damaged this way: no change, so the file is not declared.
    record.expected.clear();
    switch (imageType) {
    case kImageTypePng:
        DamagePng(bytes, random, record);
        break;
    case kImageTypeJpeg:
        DamageJpeg(bytes, random, record);
        break;
    case kImageTypeGif:
        DamageGif(bytes, random, record);
        break;
    default:
        DamageBmp(bytes, random, record);
        break;
    }
}

bool GifDecodesWhole(std::string_view bytes) {
    const std::string copy(bytes);
    const CGifLayout layout = GifLayoutOf(copy);
    return layout.valid && layout.end != 0 && layout.trailer &&
           GiflibDecodes(layout.data, layout.minCodeSize, layout.pixels);
}
