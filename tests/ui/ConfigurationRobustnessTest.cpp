// The main window over configuration files that are hostile or shared: it lists what can be read
// without crashing or hanging, and its writes lose nothing that another process writes meanwhile.

#include "UiTestSupport.h"

#include "app/AppContext.h"
#include "support/IniProfile.h"
#include "tests/common/TempDir.h"
#include "ui/MainWindow.h"
#include "ui/ToolWindowManager.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QItemSelectionModel>
#include <QTreeView>

#include <cstdlib>
#include <random>
#include <set>
#include <thread>

namespace {

int RowsShownFor(const std::string& path) {
    CAppContext context;
    context.Config().LoadAt(CKSString::FromUtf8(path));
    CToolWindowManager tools;
    CMainWindow window(context, tools);
    window.Reload();
    return window.DefinitionList()->model()->rowCount();
}

TEST(HostileConfiguration, OpensWhatCanBeReadWithoutCrashOrHang) {
    TempDir dir;
    std::mt19937 random(20261209);
    std::string noise(256 * 1024, '\0');
    for (char& byte : noise) {
        byte = static_cast<char>(random() & 0xFF);
    }
    WriteFileBytes(dir.File("noise.ini"), noise);
    RowsShownFor(dir.File("noise.ini"));

    // UTF-16 with its mark, cut in the middle of a code unit.
    WriteFileBytes(dir.File("utf16.ini"), std::string("\xFF\xFE[\0a\0]\0\n\0[\0b\0]\0\n\0[", 17));
    EXPECT_GE(RowsShownFor(dir.File("utf16.ini")), 1);

    std::string many;
    for (int i = 0; i < 100000; ++i) {
        many += "[s" + std::to_string(i) + "]\nType=bin\n";
    }
    WriteFileBytes(dir.File("many.ini"), many);
    EXPECT_EQ(RowsShownFor(dir.File("many.ini")), 100000);

    WriteFileBytes(dir.File("long.ini"),
                   "[first]\nType=txt\nValue=" + std::string(1 << 20, 'x') + "\n[second]\n");
    EXPECT_EQ(RowsShownFor(dir.File("long.ini")), 2);
}

TEST(SharedConfiguration, DeleteAndSaveAsLoseNothingAnotherProcessWrites) {
    TempDir dir;
    const std::string config = dir.File("shared.ini");
    std::string mine;
    for (int i = 0; i < 20; ++i) {
        mine += "[mine " + std::to_string(i) + "]\nType=bin\n";
    }
    WriteFileBytes(config, mine);
    CAppContext context;
    context.Config().LoadAt(CKSString::FromUtf8(config));
    PromptScript prompts;
    CToolWindowManager tools;
    CMainWindow window(context, tools);
    window.Reload();

    std::thread other([&] {
        const std::string command = "for i in $(seq 1 25); do '" FAKEMILL_CLI_PATH "' --config '" + config +
                                    "' define --type bin \"other $i\" >/dev/null 2>&1 || exit 1; done";
        EXPECT_EQ(std::system(command.c_str()), 0);
    });
    QTreeView* list = window.DefinitionList();
    for (int round = 0; round < 10; ++round) {
        window.Reload();
        list->clearSelection();
        list->selectionModel()->select(list->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window.Command(res::kCmdDeleteDefinition)->trigger();
    }
    other.join();
    EXPECT_TRUE(prompts->messages.isEmpty()) << prompts->messages.join('\n').toStdString();

    std::set<std::string> names;
    for (const CKSString& name : CIniProfile::GetSectionNames(CKSString::FromUtf8(config))) {
        names.insert(name.ToUtf8());
    }
    for (int i = 1; i <= 25; ++i) {
        EXPECT_TRUE(names.count("other " + std::to_string(i))) << i;
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(names.count("mine " + std::to_string(i))) << i;
    }
    EXPECT_EQ(names.size(), 35u);

    prompts->fileAnswers = {QString::fromStdString(dir.File("copy.ini"))};
    window.Command(res::kCmdSaveConfigurationAs)->trigger();
    EXPECT_EQ(ReadFileBytes(dir.File("copy.ini")), ReadFileBytes(config));
    EXPECT_EQ(list->model()->rowCount(), 35);
}

} // namespace
