# updater_windows_runtime_dlls(<target>)
#
# Makes the folder of a Windows program (the install tree) start with nothing else on the path:
# after each link, Qt's plug-ins that the program loads at run time (the windows platform, the
# Windows styles, the image formats of the style catalogue) are copied into their folders beside
# it, and every DLL that the program or a copied DLL imports is copied beside it, found in the
# prefix of scripts/build-windows-deps.sh or the compiler's runtime. windeployqt does not run
# here; the imports are read with objdump instead (cmake/WindowsDeployDlls.cmake). A DLL that
# is neither found there nor one of Windows' own fails the build.

function(updater_windows_runtime_dlls target)
  # The compiler's runtime DLLs (libstdc++, libgcc_s, winpthread) lie in its library folders.
  set(runtime_dirs)
  foreach(dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}")
      message(FATAL_ERROR "The compiler does not know where ${dll} is")
    endif()
    get_filename_component(dir "${found}" DIRECTORY)
    list(APPEND runtime_dirs "${dir}")
  endforeach()
  set(plugins)
  foreach(plugin QWindowsIntegrationPlugin QWindowsVistaStylePlugin QGifPlugin QICOPlugin
                 QJpegPlugin QTiffPlugin)
    if(NOT TARGET Qt6::${plugin})
      find_package(Qt6 COMPONENTS Gui Widgets REQUIRED)
    endif()
    if(NOT TARGET Qt6::${plugin})
      message(FATAL_ERROR "Qt's plug-in ${plugin} is missing from the Windows libraries")
    endif()
    # The plug-in's folder under plugins/ is its type (platforms, styles, imageformats).
    get_target_property(location Qt6::${plugin} IMPORTED_LOCATION_RELEASE)
    if(NOT location)
      get_target_property(location Qt6::${plugin} IMPORTED_LOCATION)
    endif()
    get_filename_component(type "${location}" DIRECTORY)
    get_filename_component(type "${type}" NAME)
    list(APPEND plugins "${type}=$<TARGET_FILE:Qt6::${plugin}>")
  endforeach()
  # Windows' own DLLs: those Wine provides (it implements the system's, and nothing else).
  find_path(UPDATER_WINE_SYSTEM_DLLS kernel32.dll
            PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  # Lists travel joined by "|": a ";" would split the argument.
  list(JOIN plugins "|" plugins)
  list(JOIN runtime_dirs "|" runtime_dirs)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" "-DPROGRAM=$<TARGET_FILE:${target}>"
            "-DSEARCH=${UPDATER_WINDOWS_DEPS_PREFIX}/bin|${runtime_dirs}"
            "-DPLUGINS=${plugins}" "-DSYSTEM=${UPDATER_WINE_SYSTEM_DLLS}"
            "-DOBJDUMP=${CMAKE_OBJDUMP}" -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/WindowsDeployDlls.cmake"
    COMMENT "Copying the DLLs that ${target} needs beside it"
    VERBATIM)
endfunction()
