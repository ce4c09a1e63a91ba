# updater_windows_application(<target>)
#
# Gives a program of ours its Windows manifest (cmake/windows/Application.manifest.in): it
# runs as the invoking user, declares the Windows versions it supports, and binds the resource
# library Lib\ResourcesUpd.dll at load time. The program must link the resource library and
# lie beside the Lib\ folder that add_resource_library writes.
set(UPDATER_WINDOWS_TEMPLATES "${CMAKE_CURRENT_LIST_DIR}/windows")

function(updater_windows_application target)
  set(UPDATER_MANIFEST_NAME "${target}")
  set(UPDATER_MANIFEST_FILE "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  configure_file("${UPDATER_WINDOWS_TEMPLATES}/Application.manifest.in" "${UPDATER_MANIFEST_FILE}"
                 @ONLY)
  configure_file("${UPDATER_WINDOWS_TEMPLATES}/Application.rc.in"
                 "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" @ONLY)
  target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  # windres does not see that the .rc names the manifest; tell the build.
  set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" PROPERTIES
                              OBJECT_DEPENDS "${UPDATER_MANIFEST_FILE}")
endfunction()
