# Cross build for macOS with zig's clang and its macOS headers and stubs;
# nothing here can run the result. CMAKE_SYSTEM_PROCESSOR (arm64 or x86_64)
# and MACOS_VERSION, the oldest macOS it runs on, come from the command line:
# zig takes that in its target, so CMAKE_OSX_DEPLOYMENT_TARGET stays unset.
set(CMAKE_SYSTEM_NAME Darwin)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "arm64")
    set(zig_target aarch64-macos.${MACOS_VERSION})
else()
    set(zig_target x86_64-macos.${MACOS_VERSION})
endif()
set(zig ${CMAKE_CURRENT_LIST_DIR}/../tools/zig)
set(CMAKE_CXX_COMPILER ${zig} c++ -target ${zig_target})
set(CMAKE_AR llvm-ar-14)
set(CMAKE_RANLIB llvm-ranlib-14)
# zig 0.17 crashes linking a bundle (-bundle, CMake's form of a module on
# Apple); a dynamic library loads as an extension module all the same.
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX ${CMAKE_CURRENT_LIST_DIR}/zig-macos-rules.cmake)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
