# The KMB card: a 32-bit big-endian PowerPC running Linux, built with Debian's cross compiler
# (g++-powerpc-linux-gnu). Everything links static so that a program goes onto the card as one
# file and qemu-ppc (qemu-user) runs it on a workstation without a PowerPC root file system.
#
#   cmake -S . -B build-ppc --toolchain cmake/powerpc-linux-gnu.cmake    (or: --preset ppc)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(KMB_CROSS_TRIPLE powerpc-linux-gnu)
set(CMAKE_C_COMPILER ${KMB_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KMB_CROSS_TRIPLE}-g++)

# Libraries and headers come from the target's sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KMB_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test discovery, ctest and the console tests (which spawn kmbdiag-sim) run target programs
# through this; a static program needs no -L sysroot. -DCMAKE_CROSSCOMPILING_EMULATOR=... wins.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(KMB_QEMU_PPC qemu-ppc REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KMB_QEMU_PPC})
endif()
