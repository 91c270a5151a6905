#pragma once
// The Rovezezodav word-transition model in memory: a hash table of words, each with the words
// that may follow it and their weights, and the random walk that turns it into sentences.
//
// Four marker words carry the structure of sentences, with fixed ids:
//   "_STAR" 0   start of a sentence: its links are the words that open one
//   "_END" 1    end of a sentence (no links)
//   "_SSTAR" 2  start of a clause after a comma: its links open such a clause
//   "_SEND" 3   end of a clause, written as a comma (no links)
//
// After loading the table is only read, so any number of threads may walk it at once.

#include "generators/Word.h"
#include "generators/WordDataSubscriber.h"
#include "support/KSString.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CWordDataLoader;

class CWordDataArray {
public:
    static constexpr std::size_t kBucketCount = 67777;
    // The longest sentence one walk appends, in bytes. Real sentences are a few hundred bytes;
    // the bound only matters for a model whose links never reach the end marker.
    static constexpr std::size_t kMaxSentenceBytes = 16 * 1024;
    // Larger data files are refused: the model is a few MB, and a load keeps about twice the
    // file's size in memory.
    static constexpr std::uint64_t kMaxDataFileBytes = 256ull * 1024 * 1024;
    // Load result for a file over that size.
    static constexpr int kFileTooLarge = -3;

    enum EMarker { kStart = 0, kEnd = 1, kClauseStart = 2, kClauseEnd = 3, kMarkerCount = 4 };
    static constexpr std::array<std::string_view, kMarkerCount> kMarkerTexts = {"_STAR", "_END", "_SSTAR",
                                                                                "_SEND"};

    // How a sentence ended.
    enum class ESentenceEnd {
        Complete,  // the walk reached the end marker
        Cut,       // the bound was reached first; the sentence was closed with "."
        DataError, // the data is damaged (reported to the subscriber); closed with "." if begun
    };

    // The subscriber is not owned and may be null (messages are then dropped).
    explicit CWordDataArray(IWordDataSubscriber* subscriber = nullptr);
    virtual ~CWordDataArray() = default;
    CWordDataArray(const CWordDataArray&) = delete;
    CWordDataArray& operator=(const CWordDataArray&) = delete;

    // Adds the word, or raises the use count of the same word already present; answers its id.
    std::int64_t AddWord(const CWord& word);

    // Loads the data file into a fresh table (markers only). 0 on success; otherwise the
    // header check's code (CWordDataLoader::kNoFile when the file cannot be opened), a system
    // error, CWordDataLoader::kShortRecord,
    // CWordDataLoader::kShortLinkRecord or kFileTooLarge, and the table is left fresh: a failed
    // load never leaves half a model behind, and retrying never piles up copies of its words.
    int Load(const CKSString& path);
    // The same, reading from a loader that is already open at the start of the file.
    int LoadFrom(CWordDataLoader& loader);
    // Back to the four markers and nothing else.
    void Reset();

    // Appends one sentence to the text: a space before every word, a comma where a clause
    // ends, a full stop at the end. Appends at most maxAppend bytes (never more than
    // kMaxSentenceBytes): when the next word would not leave room for the final ".", the
    // sentence is closed early and the cut reported. Draws from the calling thread's random
    // source.
    ESentenceEnd GenerateSentence(std::string& text, std::size_t maxAppend = kMaxSentenceBytes) const;

    // The first entry of the link's bucket (hash modulo the bucket count) with the link's id.
    const CWordData* FindByLink(std::uint64_t hash, std::int64_t id) const;
    // The table's entry of a marker, found the way the walk finds it; null when missing.
    const CWordData* FindMarker(EMarker marker) const;
    const CWord& Marker(EMarker marker) const { return m_markers[marker]; }
    std::int64_t MarkerId(EMarker marker) const { return m_markerIds[marker]; }
    // Whether the entry is that marker: same hash, and the text test of CWord::SameText.
    bool IsMarker(const CWord& word, EMarker marker) const;

    // Every entry of the table, bucket by bucket.
    std::size_t WordCount() const { return m_wordCount; }
    template <typename Visit>
    void ForEachWord(Visit&& visit) const {
        for (const auto& bucket : m_buckets) {
            for (const auto& entry : bucket) {
                visit(static_cast<const CWordData&>(*entry));
            }
        }
    }

    IWordDataSubscriber* Subscriber() const { return m_subscriber; }

private:
    using Bucket = std::vector<std::unique_ptr<CWordData>>;

    int ReadEntries(CWordDataLoader& loader);

    void Report(std::string_view text) const;
    // Formats the message with the word into 512 bytes; a longer result is not sent, and the
    // template goes to the diagnostic output instead.
    void ReportWithText(std::string_view format, std::string_view word) const;
    void ReportCut(std::size_t appended) const;

    IWordDataSubscriber* m_subscriber;
    std::vector<Bucket> m_buckets;
    std::size_t m_wordCount = 0;
    // Ids for words added one by one. Each table counts on its own, so a second table (a test,
    // a reload) gives the markers the same ids 0 to 3 that every data file uses.
    std::int64_t m_nextId = 0;
    std::array<CWord, kMarkerCount> m_markers;
    std::array<std::int64_t, kMarkerCount> m_markerIds{};
};
