#pragma once
// Generation policies: the byte accounting of the file being written (position, target, limit),
// the decision when a file is complete, the stop event, and writes that never pass the limit.
// A concrete generator derives from the generator base and from one policy; both share the one
// output file and the random source through virtual bases.

#include "engine/KSOutFile.h"
#include "engine/Randomizer.h"
#include "engine/StopEvent.h"
#include "support/KSGeometry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// The bases are virtual: in a generator they are the very sub-objects of the generator base.
class CKSGeneratorPolicy : public virtual CKSOutFile,
                           public virtual CRandomizer,
                           public virtual CStopListener {
public:
    static constexpr std::uint64_t kDefaultLimit = 65535;

    // Fills the current file (the block loop, for the iterating policy).
    virtual void Iterate() = 0;
    // Marks the policy started and answers More.
    virtual bool BeginBlock();
    // Not stopped, target and limit both non-zero, position below the target.
    virtual bool More();
    // Not stopped and position below the target.
    virtual bool MoreToTarget();
    virtual void BeforeBlock() {}
    // Writes up to count bytes of content; answers the bytes it counts as done (0: could do
    // nothing, which ends the current block).
    virtual std::uint64_t EmitBlock(std::uint64_t count) = 0;
    // Answers the bytes by which the position must still advance (bytes skipped, not written).
    virtual std::uint64_t EndOfBlock(std::uint64_t position, std::uint64_t target);
    virtual void SetLimit(std::uint64_t limit) { m_limit = limit; }
    virtual void AddToLimit(std::uint64_t bytes) { m_limit += bytes; }
    virtual void Reset(std::uint64_t target, std::uint64_t limit);
    virtual void SetTarget(std::uint64_t target) { m_target = target; }
    // Reverses the value's bytes in place when big-endian, then writes its four bytes clamped.
    virtual std::size_t WriteValue(std::uint32_t& value, bool bigEndian);
    // Up to four little-endian bytes of the value, as many as the limit allows.
    virtual std::size_t WriteTrailer(std::uint32_t value);

    // Writes at most limit - position bytes and advances the position by what was written.
    std::size_t WriteClamped(const void* data, std::size_t count);
    // Writes the whole text, not clamped, and advances the position by what was written.
    std::size_t WriteNarrowText(std::string_view text);
    // One printable byte from space to '}' (a space one time in eight beyond its share),
    // clamped; 1 or 0.
    std::size_t WriteRandomCharacter() {
        std::uint32_t r = KSRand();
        std::uint8_t byte = 0x20;
        if ((r & 7) != 7) {
            r = KSRand();
            byte = static_cast<std::uint8_t>(r % 94 + 32);
        }
        if (m_position >= m_limit) {
            return 0; // the draws have been made
        }
        if (PutByte(byte) == 0) {
            return 0;
        }
        m_position += 1;
        return 1;
    }

    std::uint64_t GetPosition() const { return m_position; }
    std::uint64_t GetTarget() const { return m_target; }
    std::uint64_t GetLimit() const { return m_limit; }
    bool IsStarted() const { return m_started; }

protected:
    void AdvancePosition(std::uint64_t bytes) { m_position += bytes; }

private:
    std::uint64_t m_position = 0;
    std::uint64_t m_target = 0;
    std::uint64_t m_limit = kDefaultLimit;
    bool m_started = false;
};

// Fills a file block by block until the position reaches the target.
class CKSIteratePolicy : public CKSGeneratorPolicy {
public:
    static constexpr std::uint64_t kDefaultBlockSize = 4096;

    void Iterate() override;
    void SetBlockSize(std::uint64_t size) { m_blockSize = size; }
    std::uint64_t GetBlockSize() const { return m_blockSize; }

private:
    std::uint64_t m_blockSize = kDefaultBlockSize;
};

// No block loop; random geometry for pictures instead.
class CRandomAccessPolicy : public CKSGeneratorPolicy {
public:
    void Iterate() override {}
    std::uint64_t EmitBlock(std::uint64_t) override { return 0; }

    // Two draws in 0..width give the smaller left and the right; two in 0..height top, bottom.
    virtual void RandomRect(KSRect& rect, std::int32_t width, std::int32_t height);
    // Narrows the rectangle to at most width / divisor by height / divisor, keeping it inside
    // its old bounds.
    virtual void ShrinkRect(KSRect& rect, std::int32_t width, std::int32_t height, std::int32_t divisor);
    // A random point on one of the rectangle's four sides.
    virtual void RandomEdgePoint(const KSRect& rect, KSPoint& point);
    // A random point in the box spanned by two points.
    virtual void RandomPointBetween(const KSPoint& p, const KSPoint& q, KSPoint& point);
};
