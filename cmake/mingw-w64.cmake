# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads
# variant, which std::thread needs). Executables are linked statically so that
# they run under Wine, or on a bare Windows machine, without extra DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VLD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VLD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VLD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VLD_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VLD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static zlib, C and C++ runtimes and winpthreads.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# -O2 as on Linux; GCC 12 warns falsely at -O3 about inlined std::copy.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags")
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags")

# Test programs run through Wine.
find_program(VLD_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(VLD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VLD_WINE})
endif()
