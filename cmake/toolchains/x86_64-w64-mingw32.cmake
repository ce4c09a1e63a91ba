# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (g++-mingw-w64-x86-64-posix).
#
# The posix flavour of the compilers: std::thread and std::mutex need it (the win32 flavour
# has no C++11 threads). Programs and the resource library are linked statically against the
# compiler's runtime (libgcc, libstdc++, winpthread), so a built .exe runs with nothing beside
# it but Lib/ResourcesUpd.dll: no MinGW DLL has to be copied next to it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(UPDATER_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${UPDATER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPDATER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${UPDATER_MINGW_TRIPLE}-windres)

# Headers and libraries for the target come from Debian's MinGW sysroot (zlib:
# libz-mingw-w64-dev); tools run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${UPDATER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The static zlib, so that tests need no zlib1.dll either.
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
