# Registers the layering test (cmake/CheckLayering.cmake) once every target exists: the libraries
# fakemill_core links, directly or through the targets it links, go into a file the test reads.
# Four more tests feed the check a tree that breaks one rule each and expect it to name the
# fault, so that a check that can no longer fail is noticed.

function(fakemill_collect_links target result_var)
    set(found ${${result_var}})
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(libraries ${target} ${property})
        if(NOT libraries)
            continue()
        endif()
        foreach(library IN LISTS libraries)
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" library "${library}")
            if(library STREQUAL "" OR library IN_LIST found)
                continue()
            endif()
            list(APPEND found "${library}")
            if(TARGET "${library}")
                fakemill_collect_links("${library}" found)
            endif()
        endforeach()
    endforeach()
    set(${result_var} ${found} PARENT_SCOPE)
endfunction()

set(fakemill_core_links "")
fakemill_collect_links(fakemill_core fakemill_core_links)
list(JOIN fakemill_core_links "\n" fakemill_core_links_text)
set(core_links_file ${CMAKE_BINARY_DIR}/layering/fakemill_core-links.txt)
file(WRITE ${core_links_file} "${fakemill_core_links_text}\n")

add_test(NAME layering
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DCORE_LINKS=${core_links_file}
                 -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayering.cmake)
set_tests_properties(layering PROPERTIES LABELS layering TIMEOUT 60)

# Trees that break one rule each.
set(fixtures ${CMAKE_BINARY_DIR}/layering/fixtures)
file(REMOVE_RECURSE ${fixtures}) # a file a fixture no longer has must not linger
file(WRITE ${fixtures}/clean-links.txt "Qt6::Core\nQt6::Gui\n")
file(WRITE ${fixtures}/widget-links.txt "Qt6::Core\nQt6::Widgets\n")
file(WRITE ${fixtures}/upward/engine/Factory.cpp "#include \"generators/KSBinFileGenerator.h\"\n")
file(WRITE ${fixtures}/upward/generators/KSBinFileGenerator.h "#include \"engine/KSFileGenerator.h\"\n")
file(WRITE ${fixtures}/widgets/app/Worker.cpp "#include <QString>\n#include <QMessageBox>\n")
file(WRITE ${fixtures}/widgets/ui/MainWindow.cpp "#include <QtWidgets/QMainWindow>\n")
file(WRITE ${fixtures}/widgets/program/main.cpp "#include <QApplication>\n#include \"ui/MainWindow.h\"\n")
file(WRITE ${fixtures}/links/support/KSString.h "#include <QString>\n")
# A model that needs no widget, next to windows that reach Qt Widgets each in its own way.
file(WRITE ${fixtures}/headless/ui/HashListModel.h "#include <QAbstractTableModel>\n")
file(WRITE ${fixtures}/headless/ui/Prompts.h "#include <QString>\nclass QWidget;\n")
file(WRITE ${fixtures}/headless/ui/Window.h "#include <QDialog>\n")
file(WRITE ${fixtures}/headless/ui/Calculator.h "#include \"ui/Window.h\"\n#include \"ui/HashListModel.h\"\n")
set(expect_upward "includes from generators/, which is not below engine/")
set(expect_widgets "app/Worker.cpp: Qt Widgets outside the GUI: #include <QMessageBox>")
set(expect_links "fakemill_core links Qt6::Widgets")
set(expect_headless "ui/HashListModel.h reaches no Qt Widgets class")
foreach(case upward widgets links headless)
    set(links ${fixtures}/clean-links.txt)
    if(case STREQUAL "links")
        set(links ${fixtures}/widget-links.txt)
    endif()
    add_test(NAME layering_rejects_${case}
             COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${fixtures}/${case} -DCORE_LINKS=${links}
                     -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayering.cmake)
    # Only this fault, and nothing the rules allow (generators/ on engine/, ui/ and program/ on Qt
    # Widgets, program/ on ui/, ui/ headers that reach Qt Widgets directly, by a declaration or
    # through another ui/ header).
    set_tests_properties(layering_rejects_${case} PROPERTIES LABELS layering TIMEOUT 60
        PASS_REGULAR_EXPRESSION "Layering broken:.*${expect_${case}}"
        FAIL_REGULAR_EXPRESSION "KSBinFileGenerator.h:|ui/MainWindow.cpp:|main.cpp:|Prompts.h|Window.h|Calculator.h|Layering holds")
endforeach()
