// Runs one definition's generator directly, without the batch around it (worker thread,
// dispatcher, process start), and prints how long its run took, so that a generator's own rate
// can be set against a peer's inner loop.
//
//   generator_rate CONFIG DEFINITION FOLDER
// Prints "<seconds>" on standard output; the generator's log lines (at the batch level) are
// formatted and written, buffered, to /dev/null, as a batch's lines are to a terminal-less
// output.

#include "generators/KSFileGeneratorFactory.h"

#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

class DiscardingOutput : public IOutput {
public:
    void Write(std::u16string_view text, bool) override { m_sink << Utf16ToUtf8(text) << '\n'; }
    void WriteA(std::string_view text) override { m_sink << text << '\n'; }

private:
    std::ofstream m_sink{"/dev/null"};
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: generator_rate CONFIG DEFINITION FOLDER\n");
        return 2;
    }
    DiscardingOutput output;
    CKSLogger logger;
    logger.SetLevel(CKSLogger::kLevelInfo);
    logger.SetOutput(&output);
    const CKSFileGeneratorFactory factory(&logger);
    auto generator = factory.CreateFromSection(CKSString::FromUtf8(argv[1]), CKSString::FromUtf8(argv[2]));
    if (!generator) {
        std::fprintf(stderr, "no definition %s in %s\n", argv[2], argv[1]);
        return 1;
    }
    generator->SetOutputFolder(CKSString::FromUtf8(argv[3]));
    generator->SetName();
    generator->SetPace(0);
    const auto start = std::chrono::steady_clock::now();
    generator->Run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.4f\n", took.count());
    return 0;
}
