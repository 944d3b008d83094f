# Cross build for 64-bit RISC-V Linux with Debian's cross compilers (sid's:
# bookworm's GCC 12 has no vector intrinsics); tests run under qemu-user on
# a processor with the vector AES instructions, 128-bit vectors.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(CMAKE_C_COMPILER riscv64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER riscv64-linux-gnu-g++)
# Debian's multiarch riscv64 packages (GoogleTest) install under / as well.
set(CMAKE_FIND_ROOT_PATH /usr/riscv64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-riscv64;-cpu;rv64,v=true,vlen=128,zvkned=true;-L;/usr/riscv64-linux-gnu)
