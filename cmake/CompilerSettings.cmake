# Warnings and sanitizer flags shared by every target of the project.

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()

set(FAKEMILL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

if(FAKEMILL_SANITIZE)
    add_compile_options(${FAKEMILL_SANITIZER_FLAGS})
    add_link_options(${FAKEMILL_SANITIZER_FLAGS})
endif()

# Debian's hardening, as dpkg-buildflags gives it to packages (fortified functions, stack
# protector, format checks, -z relro and -z now), in every optimised build the sanitizers do not
# instrument: the programs the package ships are those the suite tested. The build type keeps
# its optimisation and debug information. Fortified functions need optimisation, so unoptimised
# builds go without.
option(FAKEMILL_HARDENING "Build optimised programs with the hardening flags of dpkg-buildflags" ON)
find_program(FAKEMILL_DPKG_BUILDFLAGS dpkg-buildflags)
if(FAKEMILL_HARDENING AND FAKEMILL_DPKG_BUILDFLAGS AND NOT FAKEMILL_SANITIZE AND NOT FAKEMILL_FUZZ
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${FAKEMILL_DPKG_BUILDFLAGS} --get ${kind}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        # The path maps name the folder cmake ran in, which would keep ccache from sharing
        # objects between clones; the programs are stripped, so they change nothing there.
        list(FILTER flags EXCLUDE REGEX "^-(g|O.*|f(file|debug|macro)-prefix-map=.*)$")
        set(hardening_${kind} ${flags})
    endforeach()
    add_compile_options(${hardening_CPPFLAGS} ${hardening_CXXFLAGS})
    add_link_options(${hardening_LDFLAGS})
    string(JOIN " " shown ${hardening_CPPFLAGS} ${hardening_CXXFLAGS} ${hardening_LDFLAGS})
    message(STATUS "Hardening: ${shown}")
endif()

# Coverage instrumentation for the fuzz targets covers the core they exercise, not only the
# fuzz entry points; only the fuzz executables link the fuzzer's own main.
if(FAKEMILL_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Applied to our own targets only, so that third-party headers do not drown the build in noise.
function(fakemill_apply_settings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(FAKEMILL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
