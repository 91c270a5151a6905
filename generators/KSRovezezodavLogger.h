#pragma once
// Where the word model's messages go: to an attached sink when there is one (the application
// can route them into its log), otherwise to the diagnostic output, so a damaged model is
// visible to a developer without bothering the user.

#include "generators/WordDataSubscriber.h"

#include <atomic>
#include <string>
#include <string_view>

class IOutput;

class CKSRovezezodavLogger : public IWordDataSubscriber {
public:
    // The text is converted from Windows-1252 to UTF-8, the form every sink expects.
    void Notify(std::string_view text) override;

    // The sink is not owned; it may be changed while other threads report.
    void SetOutput(IOutput* output) { m_output.store(output, std::memory_order_release); }
    IOutput* GetOutput() const { return m_output.load(std::memory_order_acquire); }

private:
    std::atomic<IOutput*> m_output{nullptr};
};

// Windows-1252 bytes as UTF-8; the five bytes the code page leaves undefined become U+FFFD.
std::string Cp1252ToUtf8(std::string_view bytes);
