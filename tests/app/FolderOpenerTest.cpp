#include "app/FolderOpener.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <filesystem>

// Whether a folder can be shown depends on the opener on PATH and on the programs whose desktop
// entries declare that they open folders, in the user's and the system's applications folders.
TEST(FolderOpener, NamesWhatIsMissingUntilAnOpenerAndAFileManagerAreInstalled) {
    TempDir dir;
    const std::filesystem::path bin = dir.File("bin");
    const std::filesystem::path data = dir.File("data");
    const std::filesystem::path system = dir.File("system");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(data / "applications");
    std::filesystem::create_directories(system / "applications" / "vendor");
    const QByteArray saved[] = {qgetenv("PATH"), qgetenv("XDG_DATA_HOME"), qgetenv("XDG_DATA_DIRS")};
    qputenv("PATH", QByteArray::fromStdString(bin.string()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.string()));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(system.string()));

    EXPECT_EQ(WhyNoFileManager(), "no file manager is installed (the desktop's opener xdg-open is missing)");
    WriteFileBytes((bin / "xdg-open").string(), "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    // Programs that open other things, or a type that only begins like a folder's, do not count.
    WriteFileBytes((data / "applications" / "viewer.desktop").string(),
                   "[Desktop Entry]\nName=Viewer\nMimeType=image/png;inode/directory-listing;\n");
    WriteFileBytes((system / "applications" / "notes.txt").string(), "MimeType=inode/directory;\n");
    EXPECT_EQ(WhyNoFileManager(), "no file manager is installed (no installed program opens folders)");

    // A file manager in a vendor subfolder of the system's applications.
    WriteFileBytes((system / "applications" / "vendor" / "files.desktop").string(),
                   "[Desktop Entry]\nName=Files\nExec=files "
                   "%U\nMimeType=inode/directory;application/x-gnome-saved-search;\n");
    EXPECT_EQ(WhyNoFileManager(), "");

    const char* names[] = {"PATH", "XDG_DATA_HOME", "XDG_DATA_DIRS"};
    for (int i = 0; i < 3; ++i) {
        saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
    }
}
