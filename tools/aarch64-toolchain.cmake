# Cross build for 64-bit ARM on a Debian machine of another architecture:
# Debian's aarch64-linux-gnu compilers, the arm64 libraries installed beside
# the machine's own (multiarch, tools/packages-arm64.txt), and the programs
# run under qemu-user: the tests themselves, and gtest_discover_tests when it
# asks a test program for its list at build time.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries and package files come from /usr/lib/aarch64-linux-gnu only;
# the machine's own (x86-64) ones in /usr/lib/x86_64-linux-gnu must not be
# found. Headers of /usr/include are shared by every architecture.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# The programs load the arm64 C library of the machine (libc6:arm64, whose
# loader is /lib/ld-linux-aarch64.so.1), not the cross compiler's copy in
# /usr/aarch64-linux-gnu: `-L /usr/aarch64-linux-gnu` would pair that
# loader with the machine's newer libc.so.6, and the first thread a program
# starts then never returns.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
