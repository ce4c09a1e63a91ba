# The MinGW-w64 cross build with the compiler's runtime as DLLs (libgcc_s_seh-1, libstdc++-6,
# libwinpthread-1), for the Windows program and the libraries it is built on.
#
# Qt's DLLs use the shared runtime; a program that linked its own static copy beside them would
# have two C++ runtimes in one process (two heaps for std::string, exceptions that cannot cross
# between them). The libraries' tests keep the static runtime of the plain toolchain file.
#
# UPDATER_WINDOWS_DEPS_PREFIX: the prefix (or a list of them) that scripts/build-windows-deps.sh built (Qt, libcurl,
# the codecs). It is searched as a second sysroot beside Debian's MinGW one.
include("${CMAKE_CURRENT_LIST_DIR}/x86_64-w64-mingw32.cmake")
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "")
set(ZLIB_USE_STATIC_LIBS ON)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES UPDATER_WINDOWS_DEPS_PREFIX)
if(UPDATER_WINDOWS_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${UPDATER_WINDOWS_DEPS_PREFIX})
  # Found below either root: a prefix path of / searches each root itself.
  list(APPEND CMAKE_PREFIX_PATH /)
endif()
