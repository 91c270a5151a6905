# The layering test, run by ctest as a CMake script:
#   cmake -DSOURCE_DIR=<tree> -DCORE_LINKS=<file> -P CheckLayering.cmake
# Fails when
#   - a file includes from a folder above its own: support, then properties, engine, generators,
#     then app and tools (side by side), then cli and ui (side by side), then program (the desktop
#     program's entry); helper/ (the exerciser's hold helper) includes from support only;
#   - a file outside ui/, program/ and tests/ui (whose drivers serve the window benchmarks) includes
#     Qt Widgets: the tool classes of tools/ and the models and sinks of app/ never do;
#   - a header of ui/ reaches no Qt Widgets class (it includes none, declares none and includes no
#     ui/ header that does): what needs no widget belongs to the headless core, where its tests
#     need no display. This sees the headers' includes only: logic inside a widget class that could
#     live in a tool class is for review to find;
#   - the libraries fakemill_core links (the list in CORE_LINKS, written at configure time)
#     name Qt Widgets.

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR OR NOT CORE_LINKS)
    message(FATAL_ERROR "CheckLayering: SOURCE_DIR and CORE_LINKS are required")
endif()

set(level_support 0)
set(level_properties 1)
set(level_engine 2)
set(level_generators 3)
set(level_app 4)
set(level_tools 4)
set(level_cli 5)
set(level_ui 5)
set(level_program 6)
# The exerciser's hold helper sees nothing above the protocol it shares with its parent.
set(level_helper 1)
set(layered_folders support properties engine generators app tools cli ui program helper)

# Class headers of Qt Widgets (QAction moved to Qt Gui, but nothing headless needs it either).
set(widget_headers
    QAbstractButton QAbstractItemView QAbstractScrollArea QAction QApplication QCheckBox QComboBox
    QDialog QDialogButtonBox QDockWidget QFileDialog QFormLayout QFrame QGridLayout QGroupBox
    QHBoxLayout QHeaderView QInputDialog QLabel QLayout QLineEdit QListView QListWidget QMainWindow
    QMenu QMenuBar QMessageBox QPlainTextEdit QProgressBar QPushButton QRadioButton QScrollArea
    QProxyStyle QScrollBar QSpinBox QSplitter QStatusBar QStyle QTabWidget QTableView QTableWidget
    QTextEdit QToolBar QToolButton QTreeView QTreeWidget QVBoxLayout QWidget QWizard QWizardPage)
list(JOIN widget_headers "|" widget_alternatives)
set(widgets_pattern "#[ \t]*include[ \t]*<(QtWidgets(/[^>]*)?|(${widget_alternatives}))>")
set(widget_declaration_pattern "^[ \t]*class[ \t]+(${widget_alternatives})[ \t]*;")

set(problems "")
set(scanned 0)
set(ui_headers "")
file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h.in")
foreach(file IN LISTS files)
    if(file MATCHES "^(build[^/]*|\\.git)/")
        continue()
    endif()
    string(REGEX MATCH "^[^/]+" folder "${file}")
    math(EXPR scanned "${scanned} + 1")
    file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include")

    set(widgets_allowed FALSE)
    if(file MATCHES "^(ui|program|tests/ui)/")
        set(widgets_allowed TRUE)
    endif()
    set(level "")
    if(folder IN_LIST layered_folders)
        set(level ${level_${folder}})
    endif()
    if(file MATCHES "^ui/[^/]+\\.h$")
        list(APPEND ui_headers "${file}")
        file(STRINGS "${SOURCE_DIR}/${file}" declarations REGEX "${widget_declaration_pattern}")
        set(reaches FALSE)
        if(declarations)
            set(reaches TRUE)
        endif()
        set(ui_includes_${file} "")
        foreach(line IN LISTS includes)
            if(line MATCHES "${widgets_pattern}")
                set(reaches TRUE)
            elseif(line MATCHES "#[ \t]*include[ \t]*\"(ui/[^\"]+)\"")
                list(APPEND ui_includes_${file} "${CMAKE_MATCH_1}")
            endif()
        endforeach()
        set(reaches_${file} ${reaches})
    endif()

    foreach(line IN LISTS includes)
        if(NOT widgets_allowed AND line MATCHES "${widgets_pattern}")
            string(APPEND problems "  ${file}: Qt Widgets outside the GUI: ${line}\n")
        endif()
        if(NOT level STREQUAL "" AND line MATCHES "#[ \t]*include[ \t]*\"([a-z]+)/")
            set(target "${CMAKE_MATCH_1}")
            if(target IN_LIST layered_folders AND NOT target STREQUAL folder
               AND NOT level_${target} LESS level)
                string(APPEND problems "  ${file}: includes from ${target}/, which is not below ${folder}/: ${line}\n")
            endif()
        endif()
    endforeach()
endforeach()

# A ui/ header reaches Qt Widgets through the ui/ headers it includes, as far as they go.
set(changed TRUE)
while(changed)
    set(changed FALSE)
    foreach(header IN LISTS ui_headers)
        if(NOT reaches_${header})
            foreach(included IN LISTS ui_includes_${header})
                if(reaches_${included})
                    set(reaches_${header} TRUE)
                    set(changed TRUE)
                endif()
            endforeach()
        endif()
    endforeach()
endwhile()
foreach(header IN LISTS ui_headers)
    if(NOT reaches_${header})
        string(APPEND problems "  ${header} reaches no Qt Widgets class: it belongs to the headless core\n")
    endif()
endforeach()

if(scanned EQUAL 0)
    string(APPEND problems "  no source file found under ${SOURCE_DIR}\n")
endif()

if(NOT EXISTS "${CORE_LINKS}")
    string(APPEND problems "  the list of fakemill_core's libraries (${CORE_LINKS}) is missing\n")
else()
    file(STRINGS "${CORE_LINKS}" links)
    foreach(link IN LISTS links)
        if(link MATCHES "Widgets")
            string(APPEND problems "  fakemill_core links ${link}\n")
        endif()
    endforeach()
endif()

if(NOT problems STREQUAL "")
    message(FATAL_ERROR "Layering broken:\n${problems}")
endif()
message(STATUS "Layering holds: ${scanned} files checked")
