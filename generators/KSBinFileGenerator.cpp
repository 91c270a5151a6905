#include "generators/KSBinFileGenerator.h"

#include "generators/DamageCatalogue.h"
#include "properties/KSProperty.h"
#include "support/Crc32.h"

#include <algorithm>
#include <bit>

namespace {

const CKSPropertyList& BinaryProperties() {
    static const CKSPropertyList properties = [] {
        const CKSProperty size(u"Size", u"How many bytes to generate", CKSRange(1000, 10000));
        const CKSProperty sequence(u"Sequence", u"Sequential", CKSRange(0, 0));
        const CKSBoolProperty bigEndian(u"BigEndian", u"Big Endian", false);
        const CKSBoolProperty crc(u"CRC", u"Generate and add CRC", false);
        const CKSProperty zeros(u"Zeros", u"Extra zeroes", CKSRange(0, 0));
        const CKSProperty quick(u"Quick", u"Speed generation by skipping N kb sections in between blocks. ",
                                std::int64_t{0});
        const CKSProperty* table[] = {&size, &sequence, &bigEndian, &crc, &zeros, &quick};
        return CKSPropertyList(table);
    }();
    return properties;
}

void StoreLittleEndian(std::uint32_t value, unsigned char* out) {
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
    out[2] = static_cast<unsigned char>(value >> 16);
    out[3] = static_cast<unsigned char>(value >> 24);
}

} // namespace

CKSBinFileGenerator::CKSBinFileGenerator(CKSLogger* logger) : CKSFileGenerator(logger) {}

void CKSBinFileGenerator::AddTypeProperties() {
    AppendProperties(BinaryProperties());
}

std::unique_ptr<CKSFileGenerator> CKSBinFileGenerator::CreateSibling(CKSLogger* logger) {
    return std::make_unique<CKSBinFileGenerator>(logger);
}

bool CKSBinFileGenerator::ApplySize(std::uint64_t target, std::uint64_t limit) {
    Reset(target, limit);
    return true;
}

std::vector<std::string_view> CKSBinFileGenerator::OwnDamageClasses() const {
    return OwnDamageClassNames(DamageFormat());
}

std::u16string CKSBinFileGenerator::OptionsProblem() const {
    if (std::u16string problem = CKSFileGenerator::OptionsProblem(); !problem.empty()) {
        return problem;
    }
    const CKSProperty* crc = GetProperties().Find(u"CRC");
    if (crc != nullptr && !crc->GetBoolValue() && NamesDamage(GetProperties(), "crc")) {
        return u"Damage=crc needs CRC=1: without a trailer there is no CRC to get wrong";
    }
    return {};
}

void CKSBinFileGenerator::DrawSequenceTop() {
    const CKSRange sequence = RangeProperty(u"Sequence", CKSRange(0, 0));
    m_sequenceTop =
        RandomInRange(static_cast<std::uint64_t>(sequence.min), static_cast<std::uint64_t>(sequence.max));
}

void CKSBinFileGenerator::GenerateContent() {
    ApplySizeProperty();
    if (GetLimit() > kLargeFileLimit) {
        SetCapacity(kLargeFileBuffer);
    }
    Logger().DebugF("Target: %I64d[%I64d] bytes", GetTarget(), GetLimit());
    m_bigEndian = BoolProperty(u"BigEndian", false);
    m_withCrc = BoolProperty(u"CRC", false);
    if (m_withCrc) {
        AddToLimit(4);
    }
    // "Quick" is read as a 32-bit number and the gap computed in 32 bits.
    m_quickBytes = static_cast<std::uint32_t>(LongProperty(u"Quick", 0)) * 1024u;
    DrawSequenceTop();
    m_counter = 0;
    m_crc = 0;
    Iterate();
    if (m_withCrc) {
        Logger().DebugF("Adding CRC: %u", m_crc);
        std::uint32_t trailer = m_crc;
        if (FileDamageClass() == "crc") {
            // A writer that got one bit of its CRC wrong.
            trailer ^= 1u << DamageStream().Below(32);
            unsigned char before[4];
            unsigned char after[4];
            StoreLittleEndian(m_crc, before);
            StoreLittleEndian(trailer, after);
            const std::size_t room = static_cast<std::size_t>(
                std::min<std::uint64_t>(4, GetLimit() > GetPosition() ? GetLimit() - GetPosition() : 0));
            CDamageRecord& record = FileDamageRecord();
            record.AddChange(GetPosition(), std::string_view(reinterpret_cast<const char*>(before), room),
                             std::string_view(reinterpret_cast<const char*>(after), room));
            ExpectFromCatalogue("bin", record);
        }
        WriteTrailer(trailer);
    }
}

bool CKSBinFileGenerator::BeginBlock() {
    DrawSequenceTop();
    return CKSIteratePolicy::BeginBlock();
}

std::uint32_t CKSBinFileGenerator::NextValue() {
    std::uint32_t value = 0;
    if (m_sequenceTop == 0) {
        value = RandomPair();
    } else {
        const std::uint64_t c = m_counter;
        value = static_cast<std::uint32_t>(c < 0x7FFFFFFF ? c : c % 0x7FFFFFFF);
        m_counter = c < m_sequenceTop ? c + 1 : 0;
    }
    if (m_withCrc) {
        unsigned char bytes[4];
        StoreLittleEndian(value, bytes);
        m_crc = UpdateCrc32(m_crc, bytes, 4);
    }
    return value;
}

std::size_t CKSBinFileGenerator::PutValue(std::uint32_t& value) {
    return WriteValue(value, m_bigEndian);
}

std::uint64_t CKSBinFileGenerator::EmitBlock(std::uint64_t count) {
    static_assert(std::endian::native == std::endian::little, "chunks are written in memory order");
    std::uint64_t i = 0;
    // Whole chunks of 511 values. The CRC covers each value's little-endian bytes in drawing
    // order, also of values cut off at the limit, so it is taken over the chunk before any byte
    // swap.
    while (i + kChunkBytes < count) {
        if (m_sequenceTop == 0) {
            RandomPairs(m_chunk.data(), m_chunk.size());
            if (m_withCrc) {
                m_crc = UpdateCrc32(m_crc, m_chunk.data(), kChunkBytes);
            }
        } else {
            for (std::uint32_t& value : m_chunk) {
                value = NextValue();
            }
        }
        if (m_bigEndian) {
            for (std::uint32_t& value : m_chunk) {
                value = __builtin_bswap32(value);
            }
        }
        if (GetPosition() < GetLimit()) {
            WriteClamped(m_chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                             kChunkBytes, GetLimit() - GetPosition())));
        }
        i += kChunkBytes;
    }
    while (i + 4 < count) {
        std::uint32_t value = NextValue();
        PutValue(value);
        i += 4;
    }
    while (i < count) {
        const auto byte = static_cast<std::uint8_t>(KSRand() % 255);
        if (GetPosition() >= GetLimit()) {
            break;
        }
        if (WriteByte(byte) == 0) {
            break;
        }
        AdvancePosition(1);
        ++i;
    }
    return i;
}

std::uint64_t CKSBinFileGenerator::EndOfBlock(std::uint64_t position, std::uint64_t target) {
    const std::uint64_t gap = m_quickBytes;
    if (gap == 0 || position + gap >= target) {
        return 0;
    }
    if (IsOpen()) {
        Flush(nullptr);
        SkipForward(gap);
    }
    return gap;
}

void CKSBinFileGenerator::SelfTest(std::uint32_t count) {
    // The number syntax must survive its own extremes; the results are built and discarded.
    for (const char16_t* text : {u"140737488355327", u"300K", u"1GB", u"7TB", u"010", u"0x10"}) {
        (void)CIntString(std::u16string_view(text));
    }
    const CKSRange big = CKSRange::Parse(u"1GB-8GB");
    const CKSProperty first(u"testp1", u"", std::int64_t{0x7FFFFFFFFF});
    const CKSProperty second(u"testp2", u"", std::int64_t{1});
    (void)first;
    (void)second;

    std::uint32_t slots[4] = {0, 0, 0, 0};
    Logger().DebugF("Testing RandomInRange between %I64d and %I64d (RANDMX: 0x%X)", std::int64_t{33554433},
                    std::int64_t{33554436}, RANDMX);
    for (std::uint32_t n = 0; n < count; ++n) {
        ++slots[RandomInRange(33554433, 33554436) & 3];
        const std::uint64_t value =
            RandomInRange(static_cast<std::uint64_t>(big.min), static_cast<std::uint64_t>(big.max));
        Logger().DebugF("RandomInRange (big) %I64d", value);
    }
    for (std::uint32_t n = 0; n < count; ++n) {
        Logger().DebugF("RandomInRange %d", RandomInRange(1, 0x7FFFFFFF));
    }
    const std::uint32_t hundredth = count / 100;
    for (int slot = 0; slot < 4; ++slot) {
        // The percentage needs a count of at least 100; below that it is shown as 0.
        const std::uint32_t percent = hundredth == 0 ? 0 : slots[slot] / hundredth;
        Logger().DebugF("Slot %d: %d (%d%%/%d)", slot, slots[slot], percent, count);
    }
}
