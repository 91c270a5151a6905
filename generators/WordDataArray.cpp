#include "generators/WordDataArray.h"

#include "engine/Randomizer.h"
#include "generators/WordDataLoader.h"
#include "support/KSFormat.h"
#include "support/KSLogger.h"

#include <algorithm>
#include <limits>

namespace {

// The message buffer of the model's formatted messages, terminator included.
constexpr std::size_t kMessageBufferBytes = 512;

// Finds a word's links by (hash, id) while they are read, so that the duplicate check costs
// the same for a word with a hundred thousand links as for one with three. Open addressing over
// positions in the word's link array; a stamp per slot lets it forget everything at once.
class CLinkIndex {
public:
    // Starts over with the links the word already has.
    void Start(const std::vector<SWordLink>& links) {
        if (++m_stamp == 0) {
            std::fill(m_slots.begin(), m_slots.end(), SSlot{});
            m_stamp = 1;
        }
        m_used = 0;
        for (std::size_t at = 0; at < links.size(); ++at) {
            FindOrAdd(links, links[at], at);
        }
    }

    // The position of the link with the same hash and id; or, when there is none, records
    // position for it and answers npos.
    std::size_t FindOrAdd(const std::vector<SWordLink>& links, const SWordLink& link, std::size_t position) {
        if ((m_used + 1) * 2 > m_slots.size()) {
            Grow(links, position);
        }
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t at = Home(link);; at = (at + 1) & mask) {
            SSlot& slot = m_slots[at];
            if (slot.stamp != m_stamp) {
                slot = SSlot{static_cast<std::uint32_t>(position), m_stamp};
                ++m_used;
                return std::string::npos;
            }
            const SWordLink& held = links[slot.position];
            if (held.hash == link.hash && held.id == link.id) {
                return slot.position;
            }
        }
    }

private:
    struct SSlot {
        std::uint32_t position = 0;
        std::uint32_t stamp = 0;
    };

    std::size_t Home(const SWordLink& link) const {
        const std::uint64_t mixed =
            (link.hash ^ (static_cast<std::uint64_t>(link.id) * 0x9E3779B97F4A7C15ull)) *
            0xFF51AFD7ED558CCDull;
        return static_cast<std::size_t>(mixed >> 32) & (m_slots.size() - 1);
    }

    // Doubles the table and puts back the first `count` links, which are all distinct.
    void Grow(const std::vector<SWordLink>& links, std::size_t count) {
        m_slots.assign(std::max<std::size_t>(1024, m_slots.size() * 2), SSlot{});
        m_stamp = 1;
        m_used = 0;
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t position = 0; position < count; ++position) {
            std::size_t at = Home(links[position]);
            while (m_slots[at].stamp == m_stamp) {
                at = (at + 1) & mask;
            }
            m_slots[at] = SSlot{static_cast<std::uint32_t>(position), m_stamp};
            ++m_used;
        }
    }

    std::vector<SSlot> m_slots;
    std::uint32_t m_stamp = 0;
    std::size_t m_used = 0;
};

// Reads a word entry's links into it. A repeated link counts once more, whatever weight the
// repetition carries; a weight of 0 is read as 1.
int AddLinks(CWordDataLoader& loader, CWordData& entry, std::uint32_t count, CLinkIndex& index) {
    std::vector<SWordLink>& links = entry.MutableLinks();
    // Room for the links the file promises, but only as much as a few records' worth: the
    // count is not trusted, and the file must hold the links for the array to grow further.
    links.reserve(links.size() + std::min<std::uint32_t>(count, 1024));
    index.Start(links);
    for (std::uint32_t i = 0; i < count; ++i) {
        SWordLink link;
        if (const int read = loader.ReadLink(link); read != 0) {
            return read;
        }
        const std::size_t existing = index.FindOrAdd(links, link, links.size());
        if (existing != std::string::npos) {
            // Saturating, so that a hostile file cannot wrap a weight to 0.
            if (links[existing].weight != std::numeric_limits<std::uint32_t>::max()) {
                ++links[existing].weight;
            }
            continue;
        }
        if (link.weight == 0) {
            link.weight = 1;
        }
        links.push_back(link);
    }
    return 0;
}

// r in [0, total). A total the 15-bit source covers is drawn exactly as one rand() modulo the
// total. A larger total takes more draws: one draw alone never reaches links whose running
// sum lies beyond 32,767, so heavy words would lose their rarer followers altogether.
std::uint64_t DrawBelow(std::uint64_t total) {
    if (total <= std::uint64_t{RANDMX} + 1) {
        return KSRand() % total;
    }
    std::uint64_t value = 0;
    std::uint64_t range = 1;
    constexpr std::uint64_t kLastShift = std::numeric_limits<std::uint64_t>::max() >> 15;
    while (range < total && range <= kLastShift) {
        value = (value << 15) | KSRand();
        range <<= 15;
    }
    return value % total;
}

} // namespace

CWordDataArray::CWordDataArray(IWordDataSubscriber* subscriber) : m_subscriber(subscriber) {
    Reset();
}

void CWordDataArray::Reset() {
    m_buckets.clear();
    m_buckets.resize(kBucketCount);
    m_wordCount = 0;
    m_nextId = 0;
    for (std::size_t i = 0; i < kMarkerCount; ++i) {
        CWord marker(kMarkerTexts[i]);
        marker.ApplySpellingFixups();
        m_markers[i] = marker;
        m_markerIds[i] = AddWord(marker);
    }
}

std::int64_t CWordDataArray::AddWord(const CWord& word) {
    Bucket& bucket = m_buckets[word.Hash() % kBucketCount];
    for (const auto& entry : bucket) {
        if (entry->Hash() == word.Hash() && entry->Length() == word.Length() && entry->SameText(word)) {
            entry->RaiseUseCount();
            return entry->Id();
        }
    }
    const std::int64_t id = m_nextId++;
    bucket.push_back(std::make_unique<CWordData>(word, id));
    ++m_wordCount;
    return id;
}

int CWordDataArray::Load(const CKSString& path) {
    // A file that cannot be opened leaves the loader without one, which the header check
    // answers with CWordDataLoader::kNoFile.
    CWordDataLoader loader;
    loader.Open(path);
    return LoadFrom(loader);
}

int CWordDataArray::LoadFrom(CWordDataLoader& loader) {
    Reset();
    if (const auto size = loader.SourceSize(); size && *size > kMaxDataFileBytes) {
        return kFileTooLarge;
    }
    const int result = ReadEntries(loader);
    loader.Close();
    if (result != 0) {
        Reset();
        return result;
    }
    for (auto& bucket : m_buckets) {
        for (auto& entry : bucket) {
            entry->ComputeTotalWeight();
        }
    }
    return 0;
}

int CWordDataArray::ReadEntries(CWordDataLoader& loader) {
    CLinkIndex index;
    std::uint32_t count = 0;
    if (const int header = loader.CheckHeader(count); header != 0) {
        return header;
    }
    // The counts come from the file and are not trusted: nothing is reserved for them, each
    // record is read before it is stored, so a damaged count ends at the end of the file.
    for (std::uint32_t i = 0; i < count; ++i) {
        SWordRecord record;
        if (const int read = loader.ReadWordRecord(record); read != 0) {
            return read;
        }
        CWord word;
        word.SetFromRecord(record.text, record.length);
        word.ApplySpellingFixups();
        // The record's own hash places it; links name their words by that hash too.
        Bucket& bucket = m_buckets[record.hash % kBucketCount];
        bucket.push_back(std::make_unique<CWordData>(word, record.id));
        ++m_wordCount;
        // A marker's links belong to the marker made at construction, the first with its id.
        CWordData* target = nullptr;
        for (const auto& entry : bucket) {
            if (entry->Id() == record.id) {
                target = entry.get();
                break;
            }
        }
        std::uint32_t links = 0;
        if (const int read = loader.ReadLinkCount(links); read != 0) {
            return read;
        }
        if (const int read = AddLinks(loader, *target, links, index); read != 0) {
            return read;
        }
    }
    return 0;
}

const CWordData* CWordDataArray::FindByLink(std::uint64_t hash, std::int64_t id) const {
    for (const auto& entry : m_buckets[hash % kBucketCount]) {
        if (entry->Id() == id) {
            return entry.get();
        }
    }
    return nullptr;
}

const CWordData* CWordDataArray::FindMarker(EMarker marker) const {
    return FindByLink(m_markers[marker].Hash(), m_markerIds[marker]);
}

bool CWordDataArray::IsMarker(const CWord& word, EMarker marker) const {
    return word.Hash() == m_markers[marker].Hash() && word.SameText(m_markers[marker]);
}

CWordDataArray::ESentenceEnd CWordDataArray::GenerateSentence(std::string& text,
                                                              std::size_t maxAppend) const {
    const std::size_t bound = std::min(maxAppend, kMaxSentenceBytes);
    const CWordData* current = FindMarker(kStart);
    if (current == nullptr) {
        Report("Start marker missing.\r\n");
        return ESentenceEnd::DataError;
    }
    std::size_t appended = 0;
    // Room for the closing "." is kept at every step, so it always fits once anything does.
    const auto close = [&](ESentenceEnd how) {
        if (appended < bound) {
            text.push_back('.');
        }
        return how;
    };
    if (bound == 0) {
        ReportCut(0);
        return ESentenceEnd::Cut;
    }
    for (;;) {
        const std::uint64_t total = current->TotalWeight();
        if (total == 0) {
            ReportWithText(" -> Error in data: linkless word %s\r\n", current->TextView());
            return close(ESentenceEnd::DataError);
        }
        const std::uint64_t r = DrawBelow(total);
        const SWordLink* chosen = nullptr;
        std::uint64_t sum = 0;
        for (const SWordLink& link : current->Links()) {
            sum += link.weight;
            if (sum > r) {
                chosen = &link;
                break;
            }
        }
        const CWordData* next = chosen != nullptr ? FindByLink(chosen->hash, chosen->id) : nullptr;
        if (next == nullptr) {
            Report("Error in data, missing link\r\n");
            return close(ESentenceEnd::DataError);
        }
        if (IsMarker(*next, kEnd)) {
            return close(ESentenceEnd::Complete);
        }
        if (IsMarker(*next, kClauseEnd)) {
            // Without a clause start that leads anywhere the sentence cannot go on: end it
            // here rather than leave a comma dangling before the full stop.
            const CWordData* clause = FindMarker(kClauseStart);
            if (clause == nullptr) {
                Report("Clause start marker missing.\r\n");
                return close(ESentenceEnd::DataError);
            }
            if (clause->TotalWeight() == 0) {
                ReportWithText(" -> Error in data: linkless word %s\r\n", clause->TextView());
                return close(ESentenceEnd::DataError);
            }
            if (appended + 2 > bound) {
                ReportCut(appended);
                return close(ESentenceEnd::Cut);
            }
            text.push_back(',');
            ++appended;
            current = clause;
            continue;
        }
        const std::string_view word = next->TextView();
        if (appended + 1 + word.size() + 1 > bound) {
            ReportCut(appended);
            return close(ESentenceEnd::Cut);
        }
        text.push_back(' ');
        text.append(word);
        appended += 1 + word.size();
        current = next;
    }
}

void CWordDataArray::Report(std::string_view text) const {
    if (m_subscriber != nullptr) {
        m_subscriber->Notify(text);
    }
}

void CWordDataArray::ReportWithText(std::string_view format, std::string_view word) const {
    const std::string message = KSFormat(format, word);
    if (message.size() > kMessageBufferBytes - 1) {
        KSDebugOutputA("Buffer to small to format text.\nTemplate:" + std::string(format) + "\n");
        return;
    }
    Report(message);
}

void CWordDataArray::ReportCut(std::size_t appended) const {
    Report(KSFormat(" -> Sentence cut at %u bytes: no end in the data\r\n",
                    static_cast<std::uint32_t>(appended)));
}
