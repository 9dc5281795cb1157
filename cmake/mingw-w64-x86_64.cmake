# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the posix thread model, for
# std::thread and std::mutex):
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The C++ and GCC runtimes and winpthreads are linked in statically, so the programs need no DLL
# beyond those Windows itself has. Programs and tests run on Linux through Wine (the emulator
# below), which ctest uses for every test.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELVIO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELVIO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELVIO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELVIO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELVIO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The Linux system's pkg-config would offer Linux libraries.
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "No pkg-config for the cross build")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ZELVIO_WINE NAMES wine wine64)
if(ZELVIO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELVIO_WINE})
endif()
