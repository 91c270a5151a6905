#include "engine/KSGeneratorPolicy.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

bool CKSGeneratorPolicy::BeginBlock() {
    m_started = true;
    return More();
}

// The stop is asked last, only when more content is wanted: a stop that comes after the last
// block has not cut the file short.
bool CKSGeneratorPolicy::More() {
    return m_target != 0 && m_limit != 0 && m_position < m_target && !StopRequested();
}

bool CKSGeneratorPolicy::MoreToTarget() {
    return m_position < m_target && !StopRequested();
}

std::uint64_t CKSGeneratorPolicy::EndOfBlock(std::uint64_t, std::uint64_t) {
    return 0;
}

void CKSGeneratorPolicy::Reset(std::uint64_t target, std::uint64_t limit) {
    m_position = 0;
    m_target = target;
    m_limit = limit;
}

std::size_t CKSGeneratorPolicy::WriteClamped(const void* data, std::size_t count) {
    if (data == nullptr || m_position >= m_limit) {
        return 0;
    }
    // Compared as "what is left", so that a huge count cannot wrap the sum around.
    if (count >= m_limit - m_position) {
        count = static_cast<std::size_t>(m_limit - m_position);
    }
    if (Write(data, count) == 0) {
        return 0;
    }
    m_position += count;
    return count;
}

std::size_t CKSGeneratorPolicy::WriteValue(std::uint32_t& value, bool bigEndian) {
    if (bigEndian) {
        value = __builtin_bswap32(value);
    }
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    return WriteClamped(bytes, 4);
}

std::size_t CKSGeneratorPolicy::WriteTrailer(std::uint32_t value) {
    if (m_position >= m_limit) {
        return 0;
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(4, m_limit - m_position));
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    if (Write(bytes, count) == 0) {
        return 0;
    }
    m_position += count;
    return count;
}

std::size_t CKSGeneratorPolicy::WriteNarrowText(std::string_view text) {
    const std::size_t written = Write(text.data(), text.size());
    m_position += written;
    return written;
}

void CKSIteratePolicy::Iterate() {
    if (!BeginBlock()) {
        return;
    }
    do {
        // The request depends on the target, not on what is left of it: the last block of a
        // file may pass the target, and only the limit stops it.
        const std::uint64_t request = m_blockSize != 0 ? std::min(m_blockSize, GetTarget()) : 0;
        BeforeBlock();
        if (request != 0) {
            std::uint64_t done = 0;
            while (done < request) {
                const std::uint64_t d = EmitBlock(request - done);
                if (d == 0) {
                    break;
                }
                done += d;
            }
        } else {
            EmitBlock(GetTarget());
        }
        AdvancePosition(EndOfBlock(GetPosition(), GetTarget()));
    } while (BeginBlock());
}

void CRandomAccessPolicy::RandomRect(KSRect& rect, std::int32_t width, std::int32_t height) {
    const auto w = static_cast<std::uint64_t>(std::max(width, 0));
    const auto h = static_cast<std::uint64_t>(std::max(height, 0));
    const auto a = static_cast<std::int32_t>(RandomInRange(0, w));
    const auto b = static_cast<std::int32_t>(RandomInRange(0, w));
    rect.left = std::min(a, b);
    rect.right = std::max(a, b);
    const auto c = static_cast<std::int32_t>(RandomInRange(0, h));
    const auto d = static_cast<std::int32_t>(RandomInRange(0, h));
    rect.top = std::min(c, d);
    rect.bottom = std::max(c, d);
}

void CRandomAccessPolicy::ShrinkRect(KSRect& rect, std::int32_t width, std::int32_t height,
                                     std::int32_t divisor) {
    if (divisor == 0) {
        return;
    }
    // In 64 bits: INT32_MIN / -1 and the differences of far-apart coordinates do not fit 32.
    const auto narrow = [](std::int32_t& low, std::int32_t& high, std::int64_t size) {
        if (size < static_cast<std::int64_t>(high) - low) {
            if (KSRand() & 1) {
                high = static_cast<std::int32_t>(low + size);
            } else {
                low = static_cast<std::int32_t>(high - size);
            }
        }
    };
    narrow(rect.left, rect.right, static_cast<std::int64_t>(width) / divisor);
    narrow(rect.top, rect.bottom, static_cast<std::int64_t>(height) / divisor);
}

namespace {

// A value in the closed range [low, high]. Drawn as low + RandomInRange(0, high - low), which
// makes the same draws and gives the same value as RandomInRange(low, high) for coordinates that
// are not negative, and stays in range for those that are.
std::int32_t DrawBetween(std::int32_t low, std::int32_t high) {
    if (high < low) {
        std::swap(low, high);
    }
    const auto span = static_cast<std::uint64_t>(static_cast<std::int64_t>(high) - low);
    return static_cast<std::int32_t>(low + static_cast<std::int64_t>(RandomInRange(0, span)));
}

} // namespace

void CRandomAccessPolicy::RandomEdgePoint(const KSRect& rect, KSPoint& point) {
    switch (RandomInRange(0, 3)) {
    case 0:
        point = {rect.left, DrawBetween(rect.top, rect.bottom)};
        break;
    case 1:
        point = {rect.right, DrawBetween(rect.top, rect.bottom)};
        break;
    case 2:
        point = {DrawBetween(rect.left, rect.right), rect.bottom};
        break;
    default:
        point = {DrawBetween(rect.left, rect.right), rect.top};
        break;
    }
}

void CRandomAccessPolicy::RandomPointBetween(const KSPoint& p, const KSPoint& q, KSPoint& point) {
    const auto dx = static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(p.x) - q.x));
    point.x = static_cast<std::int32_t>(std::min(p.x, q.x) + static_cast<std::int64_t>(RandomInRange(0, dx)));
    const auto dy = static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(p.y) - q.y));
    point.y = static_cast<std::int32_t>(std::min(p.y, q.y) + static_cast<std::int64_t>(RandomInRange(0, dy)));
}
