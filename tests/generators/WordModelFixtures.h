#pragma once
// Small word models for tests: described word by word, written in the data file format.

#include "generators/WordDataArray.h"
#include "generators/WordDataSubscriber.h"
#include "generators/WordDataWriter.h"
#include "support/KSString.h"
#include "tests/common/TempDir.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct SLinkSpec {
    std::string_view text;
    std::int64_t id;
    std::uint32_t weight = 1;
};

struct SWordSpec {
    std::string_view text;
    std::int64_t id;
    std::vector<SLinkSpec> links;
};

inline const SLinkSpec kToEnd{"_END", 1};
inline const SLinkSpec kToClauseEnd{"_SEND", 3};

inline std::string ModelBytes(const std::vector<SWordSpec>& words) {
    CWordDataWriter writer;
    for (const SWordSpec& word : words) {
        std::vector<SWordLink> links;
        for (const SLinkSpec& link : word.links) {
            links.push_back(MakeWordLink(link.text, link.id, link.weight));
        }
        writer.AddWord(word.text, word.id, links);
    }
    return writer.Bytes();
}

// Collects the messages; the walk may report from several threads.
class CRecordingSubscriber : public IWordDataSubscriber {
public:
    void Notify(std::string_view text) override {
        std::lock_guard lock(m_mutex);
        m_messages.emplace_back(text);
    }
    std::vector<std::string> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
};

// Writes the bytes to a file of the folder and loads it; answers the load's result.
inline int LoadBytes(CWordDataArray& words, const TempDir& folder, std::string_view bytes,
                     std::string_view name = "model.dat") {
    const std::string path = folder.File(name);
    WriteFileBytes(path, bytes);
    return words.Load(CKSString::FromUtf8(path));
}
