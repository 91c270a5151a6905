#pragma once
// The program's fixed texts and command ids. The ids are those the menus and dialogs have always
// used, so that a QAction is found by objectName "cmd<id>" and its data.

#include <QIcon>
#include <QString>

class QWidget;

namespace res {

// The string table.
inline constexpr int kIdsCaption = 103;
inline constexpr int kIdsNewDefinition = 104;
inline constexpr int kIdsNewDefinitionSummary = 105;
inline constexpr int kIdsTextDefinition = 106;
inline constexpr int kIdsBinaryDefinition = 107;
inline constexpr int kIdsCsvDefinition = 108;
inline constexpr int kIdsImageDefinition = 110;
inline constexpr int kIdsCreate = 111;
inline constexpr int kIdsErrorCaption = 113;
inline constexpr int kIdsTooManyFiles = 114;
inline constexpr int kIdsSelectFilesFailed = 115;

// The text of a string id; empty for an unknown id.
QString String(int id);

// Menu commands.
inline constexpr int kCmdOpenConfiguration = 32805;
inline constexpr int kCmdSaveConfigurationAs = 32806;
inline constexpr int kCmdEditConfiguration = 32789;
inline constexpr int kCmdReloadConfiguration = 32790;
inline constexpr int kCmdExit = 32791;
inline constexpr int kCmdAddDefinition = 32792;
inline constexpr int kCmdAddMultiple = 32802;
inline constexpr int kCmdModifyDefinition = 32793;
inline constexpr int kCmdDeleteDefinition = 32794;
inline constexpr int kCmdGenerateSelected = 32797;
inline constexpr int kCmdActivePlaceholder = 32830;
inline constexpr int kCmdHistory = 32824;
inline constexpr int kCmdOptions = 32801;
inline constexpr int kCmdCalculateHash = 32817;
inline constexpr int kCmdBinaryViewer = 32808;
inline constexpr int kCmdFileExerciser = 32832;
inline constexpr int kCmdAbout = 32798;
inline constexpr int kCmdHelp = 32811;
// The Active submenu's items count up from here, one per open batch window.
inline constexpr int kCmdFirstActiveWindow = 8000;

// Dialog results.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Window kinds, as a window answers GetKind().
inline constexpr int kKindNone = 0;
inline constexpr int kKindBatchOutput = 16;
inline constexpr int kKindHelp = 17;
inline constexpr int kKindBinaryViewer = 18;
inline constexpr int kKindMainWindow = 128;

} // namespace res

// Registers the windows' built-in resources (icons); the library's resources are kept only when
// something calls this. Safe to call more than once.
void InitUiResources();
// The program's icon, and a window given it.
QIcon ProgramIcon();
void SetProgramIcon(QWidget& window);
