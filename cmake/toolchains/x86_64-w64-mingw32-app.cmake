# The Windows program (the `windows-app` preset): the shared-runtime toolchain with the
# libraries that scripts/build-windows-deps.sh built from Debian's sources. Without
# UPDATER_WINDOWS_DEPS_PREFIX the script names its complete prefix, or the configure fails
# and says to run it.
if(NOT UPDATER_WINDOWS_DEPS_PREFIX)
  execute_process(
    COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/../../scripts/build-windows-deps.sh" --print-prefix
    OUTPUT_VARIABLE UPDATER_WINDOWS_DEPS_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "The Windows libraries are not built: run scripts/build-windows-deps.sh")
  endif()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/x86_64-w64-mingw32-shared-runtime.cmake")
# Qt's tools (moc, uic, rcc) are the build machine's: Debian's Qt of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QT_HOST_PATH QT_HOST_PATH_CMAKE_DIR)
# pkg-config (WavPack) reads the prefix's files only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "${UPDATER_WINDOWS_DEPS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
