#include "engine/FileDamage.h"

#include <algorithm>

namespace {

std::string Short(std::string_view bytes) {
    return bytes.size() <= CByteChange::kShortBytes ? std::string(bytes) : std::string();
}

} // namespace

std::string_view OutcomeName(EReaderOutcome outcome) {
    switch (outcome) {
    case EReaderOutcome::Fails:
        return "fails";
    case EReaderOutcome::Warns:
        return "warns";
    case EReaderOutcome::Decodes:
        return "decodes";
    default:
        return "unknown";
    }
}

void CDamageRecord::AddChange(std::uint64_t offset, std::string_view original, std::string_view written) {
    changes.push_back(CByteChange{offset, original.size(), Short(original), Short(written)});
}

void CDamageRecord::AddInsertion(std::uint64_t offset, std::string_view written) {
    changes.push_back(CByteChange{offset, 0, std::string(), Short(written)});
}

std::uint64_t CSeededStream::Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t CSeededStream::Below(std::uint64_t count) {
    return count == 0 ? 0 : Next() % count;
}

std::uint64_t CSeededStream::Between(std::uint64_t low, std::uint64_t high) {
    if (high <= low) {
        return low;
    }
    const std::uint64_t span = high - low;
    return span == UINT64_MAX ? Next() : low + Below(span + 1);
}

bool IsCommonDamage(std::string_view damageClass) {
    return damageClass == damage::kTruncate || damageClass == damage::kFlip || damageClass == damage::kZero ||
           damageClass == damage::kEmpty;
}

std::vector<CByteChange> ApplyCommonDamage(std::string_view damageClass, std::string& window,
                                           std::uint64_t start, std::uint64_t from, CSeededStream& random) {
    CDamageRecord record;
    const std::uint64_t end = start + window.size();
    // The first offset damage may touch, inside the window and past the header when the file has
    // more than its header.
    const std::uint64_t first = std::max(start, from < end ? from : (end > start ? end - 1 : start));
    if (damageClass == damage::kEmpty) {
        record.AddChange(start, window, std::string_view());
        window.clear();
    } else if (window.empty()) {
        // Nothing to damage: an empty file stays empty.
    } else if (damageClass == damage::kTruncate) {
        const std::uint64_t cut = random.Between(first, end - 1);
        const std::size_t at = static_cast<std::size_t>(cut - start);
        record.AddChange(cut, std::string_view(window).substr(at), std::string_view());
        window.resize(at);
    } else if (damageClass == damage::kFlip) {
        const std::uint64_t flips = random.Between(1, 3);
        for (std::uint64_t n = 0; n < flips; ++n) {
            const std::uint64_t offset = random.Between(first, end - 1);
            char& byte = window[static_cast<std::size_t>(offset - start)];
            const char before = byte;
            byte = static_cast<char>(byte ^ (1 << random.Below(8)));
            record.AddChange(offset, std::string_view(&before, 1), std::string_view(&byte, 1));
        }
    } else if (damageClass == damage::kZero) {
        const std::uint64_t room = end - first;
        const std::uint64_t length = std::min<std::uint64_t>(random.Between(8, 512), room);
        // A run over bytes that are zero already would change nothing: look for one that does.
        std::uint64_t offset = first;
        for (int attempt = 0; attempt < 8; ++attempt) {
            offset = random.Between(first, end - length);
            const std::string_view run =
                std::string_view(window).substr(static_cast<std::size_t>(offset - start), length);
            if (run.find_first_not_of('\0') != std::string_view::npos) {
                break;
            }
        }
        const std::size_t at = static_cast<std::size_t>(offset - start);
        const std::string before = window.substr(at, static_cast<std::size_t>(length));
        std::fill_n(window.begin() + static_cast<std::ptrdiff_t>(at), length, '\0');
        record.AddChange(offset, before, std::string_view(window).substr(at, length));
    }
    return std::move(record.changes);
}
