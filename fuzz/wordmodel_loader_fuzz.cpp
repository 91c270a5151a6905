// Feeds arbitrary bytes to the word model loader as a data file, then walks whatever loaded.
// A load must fail cleanly (leaving only the four markers) or give a model whose sentences
// stay within their bound.

#include "engine/Randomizer.h"
#include "generators/WordDataArray.h"
#include "generators/WordDataLoader.h"
#include "support/PosixFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBound = 512;

// The walk's messages are exercised but not kept.
class CDiscardingSubscriber : public IWordDataSubscriber {
public:
    void Notify(std::string_view) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CDiscardingSubscriber subscriber;
    static CWordDataArray words(&subscriber);

    CUniqueFd fd(::memfd_create("wordmodel", MFD_CLOEXEC));
    if (!fd.IsValid() || !WriteAllToDescriptor(fd.Get(), data, size) || ::lseek(fd.Get(), 0, SEEK_SET) != 0) {
        std::abort();
    }
    CWordDataLoader loader;
    loader.Attach(std::move(fd));
    if (words.LoadFrom(loader) != 0) {
        if (words.WordCount() != CWordDataArray::kMarkerCount) {
            std::abort();
        }
        return 0;
    }
    KSSrand(static_cast<std::uint32_t>(size));
    for (int i = 0; i < 8; ++i) {
        std::string text;
        words.GenerateSentence(text, kBound);
        if (text.size() > kBound) {
            std::abort();
        }
    }
    return 0;
}
