// Every test process gets fresh HOME, XDG and TMPDIR folders, so no test reads or writes the
// user's settings, configuration, data or log files. They are removed when the process ends.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Removes the folders when main returns, also when no test ran (listing the tests, say).
class FreshHomeRemover {
public:
    explicit FreshHomeRemover(std::filesystem::path root) : m_root(std::move(root)) {}
    ~FreshHomeRemover() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    FreshHomeRemover(const FreshHomeRemover&) = delete;
    FreshHomeRemover& operator=(const FreshHomeRemover&) = delete;

private:
    std::filesystem::path m_root;
};

std::filesystem::path MakeFreshHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fkmhome.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    const std::filesystem::path root(pattern);
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "config"},
        {"XDG_DATA_HOME", "data"},
        {"XDG_CACHE_HOME", "cache"},
        {"XDG_STATE_HOME", "state"},
        {"XDG_RUNTIME_DIR", "runtime"},
        {"TMPDIR", "tmp"},
    };
    for (const auto& [variable, name] : folders) {
        const std::filesystem::path folder = root / name;
        std::filesystem::create_directories(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        ::setenv(variable, folder.c_str(), 1);
    }
    ::unsetenv("FKMCONFIG");
    // The exerciser's hold helper of this build, wherever the program under test runs from.
    ::setenv("FAKEMILL_HOLD_HELPER", FAKEMILL_HOLD_HELPER_PATH, 1);
    ::unsetenv("FAKEMILL_DEBUG");
    return root;
}

} // namespace

int main(int argc, char** argv) {
    const FreshHomeRemover remover(MakeFreshHome());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
