# Cross build for 64-bit Windows with zig's clang, MinGW-w64 headers and the
# UCRT, the C runtime CPython itself uses (Debian's mingw-w64 links the old
# msvcrt.dll, whose standard output Python cannot see); run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(zig ${CMAKE_CURRENT_LIST_DIR}/../tools/zig)
set(CMAKE_C_COMPILER ${zig} cc -target x86_64-windows-gnu)
set(CMAKE_CXX_COMPILER ${zig} c++ -target x86_64-windows-gnu)
set(CMAKE_AR llvm-ar-14)
set(CMAKE_RANLIB llvm-ranlib-14)
set(CMAKE_RC_COMPILER llvm-rc-14)
# Libraries and packages (GoogleTest built for Windows) come from
# CMAKE_FIND_ROOT_PATH alone, never from the Linux system.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
