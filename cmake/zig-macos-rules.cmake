# Read after CMake's Darwin rules (cmake/zig-macos.cmake): modules linked as
# dynamic libraries.
set(CMAKE_SHARED_MODULE_CREATE_CXX_FLAGS "-shared")
