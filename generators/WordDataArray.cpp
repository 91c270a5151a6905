#include "generators/WordDataArray.h"

#include "engine/Randomizer.h"
#include "generators/WordDataLoader.h"
#include "support/KSFormat.h"
#include "support/KSLogger.h"

#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>

namespace {

// The message buffer of the model's formatted messages, terminator included.
constexpr std::size_t kMessageBufferBytes = 512;

// Beyond this many links a word's duplicate check uses an index instead of a linear search, so
// that a file with one huge link list loads in linear time.
constexpr std::size_t kLinearLinkSearch = 32;

struct SLinkKey {
    std::uint64_t hash;
    std::int64_t id;
    bool operator==(const SLinkKey&) const = default;
};

struct SLinkKeyHash {
    std::size_t operator()(const SLinkKey& key) const {
        return static_cast<std::size_t>(key.hash ^
                                        (static_cast<std::uint64_t>(key.id) * 0x9E3779B97F4A7C15ull));
    }
};

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
    CWordDataLoader loader;
    if (const int opened = loader.Open(path); opened != 0) {
        Reset();
        return opened;
    }
    return LoadFrom(loader);
}

int CWordDataArray::LoadFrom(CWordDataLoader& loader) {
    Reset();
    struct stat info {};
    if (loader.IsOpen() && ::fstat(loader.Descriptor(), &info) == 0 &&
        static_cast<std::uint64_t>(info.st_size) > kMaxDataFileBytes) {
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
        if (const int read = AddLinks(loader, *target, links); read != 0) {
            return read;
        }
    }
    return 0;
}

int CWordDataArray::AddLinks(CWordDataLoader& loader, CWordData& entry, std::uint32_t count) {
    std::vector<SWordLink>& links = entry.MutableLinks();
    std::optional<std::unordered_map<SLinkKey, std::size_t, SLinkKeyHash>> index;
    for (std::uint32_t i = 0; i < count; ++i) {
        SWordLink link;
        if (const int read = loader.ReadLink(link); read != 0) {
            return read;
        }
        if (!index && links.size() >= kLinearLinkSearch) {
            index.emplace();
            for (std::size_t at = 0; at < links.size(); ++at) {
                index->emplace(SLinkKey{links[at].hash, links[at].id}, at);
            }
        }
        SWordLink* existing = nullptr;
        if (index) {
            if (const auto found = index->find(SLinkKey{link.hash, link.id}); found != index->end()) {
                existing = &links[found->second];
            }
        } else {
            for (SWordLink& candidate : links) {
                if (candidate.hash == link.hash && candidate.id == link.id) {
                    existing = &candidate;
                    break;
                }
            }
        }
        if (existing != nullptr) {
            // A repeated link counts once more, whatever weight the repetition carries;
            // saturating, so a hostile file cannot wrap a weight to 0.
            if (existing->weight != std::numeric_limits<std::uint32_t>::max()) {
                ++existing->weight;
            }
            continue;
        }
        if (link.weight == 0) {
            link.weight = 1;
        }
        links.push_back(link);
        if (index) {
            index->emplace(SLinkKey{link.hash, link.id}, links.size() - 1);
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
