# Warnings and sanitizer flags shared by every target of the project.

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()

set(FAKEMILL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

if(FAKEMILL_SANITIZE)
    add_compile_options(${FAKEMILL_SANITIZER_FLAGS})
    add_link_options(${FAKEMILL_SANITIZER_FLAGS})
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
