#pragma once
// A log sink that keeps every line, for checking what a component reported.

#include "support/KSLogger.h"

#include <mutex>
#include <string>
#include <vector>

class CapturingOutput : public IOutput {
public:
    struct Line {
        std::string text;
        bool error;
    };

    void Write(std::u16string_view text, bool error) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back({Utf16ToUtf8(text), error});
    }
    void WriteA(std::string_view text) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back({std::string(text), false});
    }

    std::vector<Line> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // How many lines contain the text.
    int Count(std::string_view fragment) const {
        std::lock_guard lock(m_mutex);
        int count = 0;
        for (const Line& line : m_lines) {
            count += line.text.find(fragment) != std::string::npos ? 1 : 0;
        }
        return count;
    }
    bool Contains(std::string_view fragment) const { return Count(fragment) > 0; }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }
    std::string All() const {
        std::lock_guard lock(m_mutex);
        std::string all;
        for (const Line& line : m_lines) {
            all += line.text + "\n";
        }
        return all;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
};
