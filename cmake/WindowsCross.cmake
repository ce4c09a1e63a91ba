# What a Windows cross build needs beyond its toolchain file: a way to run what it builds.
#
# Tests run under Wine (Debian's wine64), through CTest's emulator, so `ctest` works as on
# Linux. Wine runs headless here: no DISPLAY, and no offer to install Mono or Gecko (the tests
# use neither). The prefix, Wine's own C: drive and registry, lives in the build directory and
# is made on first use. The machine it shows is the updater's users': the Spanish locale gives
# ANSI code page 1252 and OEM code page 850 (with Wine's default English locale the OEM code
# page is 437), and TZ makes Wine choose Central European time, with its daylight saving.
#
# Wine takes the locale from the Unix one, and without a Unix locale that exists it cannot
# name files outside ASCII. Debian installs no Spanish locale unless asked (locale-gen), so we
# compile one into the build directory (localedef, from the locales package) and point glibc
# at it with LOCPATH: nothing outside the build changes.
find_program(UPDATER_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CACHE)
set(UPDATER_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "Wine prefix for the tests")
set(UPDATER_LOCALE_DIR "${CMAKE_BINARY_DIR}/locale")
if(NOT EXISTS "${UPDATER_LOCALE_DIR}/es_ES.UTF-8/LC_CTYPE")
  find_program(UPDATER_LOCALEDEF localedef REQUIRED NO_CACHE)
  file(MAKE_DIRECTORY "${UPDATER_LOCALE_DIR}")
  execute_process(
    COMMAND "${UPDATER_LOCALEDEF}" -i es_ES -c -f UTF-8 "${UPDATER_LOCALE_DIR}/es_ES.UTF-8"
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(NOT EXISTS "${UPDATER_LOCALE_DIR}/es_ES.UTF-8/LC_CTYPE")
    message(FATAL_ERROR "localedef could not make the es_ES.UTF-8 locale (${result}); "
                        "install the locales package")
  endif()
endif()
if(UPDATER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_COMMAND};-E;env;--unset=DISPLAY;--unset=WAYLAND_DISPLAY"
      "WINEPREFIX=${UPDATER_WINE_PREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml="
      "LOCPATH=${UPDATER_LOCALE_DIR}" "LC_ALL=es_ES.UTF-8" "TZ=CET-1CEST,M3.5.0,M10.5.0/3" "${UPDATER_WINE}")
else()
  message(WARNING "Wine (wine64) is not installed: the Windows tests can be built but not run")
endif()
