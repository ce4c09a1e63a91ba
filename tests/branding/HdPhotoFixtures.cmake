# The HD Photo fixtures of HdPhotoImageTest, made on the build machine by
# make_hd_photo_fixtures.sh (ImageMagick, libjxr's encoder) and named to the test program as
# HD_PHOTO_FIXTURES: a Windows program under Wine reads them through its drive for the Unix
# root. Without the tools nothing is made, and the test skips, or fails under CI.
function(hd_photo_fixtures target)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/hd-photo-fixtures")
  find_program(UPDATER_CONVERT convert)
  find_program(UPDATER_JXRENCAPP JxrEncApp)
  if(UPDATER_CONVERT AND UPDATER_JXRENCAPP)
    set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/make_hd_photo_fixtures.sh")
    add_custom_command(
      OUTPUT "${dir}/pattern.jxr" "${dir}/alpha.jxr" "${dir}/grey.jxr"
      COMMAND bash "${script}" "${dir}"
      DEPENDS "${script}"
      COMMENT "Making the HD Photo fixtures")
    add_custom_target(${target}_fixtures
      DEPENDS "${dir}/pattern.jxr" "${dir}/alpha.jxr" "${dir}/grey.jxr")
    add_dependencies(${target} ${target}_fixtures)
  else()
    message(STATUS "convert or JxrEncApp missing: ${target} has no HD Photo fixtures")
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(dir "Z:${dir}")
  endif()
  target_compile_definitions(${target} PRIVATE HD_PHOTO_FIXTURES="${dir}")
endfunction()
