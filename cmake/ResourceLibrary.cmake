# add_resource_library(<target> DESCRIPTION <file> TREE <dir> [UPDATE_PATH <url>]
#                      [UPDATE_KEY_FILE <minisign.pub>] [FIVE_OPERATIONS])
#
# Builds the resource library of one product line from its description into <dir>/Lib/,
# the folder beside the updater where the updater's loader looks for it (RUNPATH $ORIGIN/Lib;
# on Windows the manifest of cmake/WindowsApplication.cmake).
# UPDATE_PATH and UPDATE_KEY_FILE take the place of the description's updatePath and updateKey
# (the key line of a public key file made at build time: the demo's). FIVE_OPERATIONS builds a
# library without the optional getUpdateKey, as product lines made before it have (tests).
set(UPDATER_PRODUCT_GENERATOR "${CMAKE_CURRENT_LIST_DIR}/GenerateProductData.cmake")

function(add_resource_library target)
  cmake_parse_arguments(arg "FIVE_OPERATIONS" "DESCRIPTION;TREE;UPDATE_PATH;UPDATE_KEY_FILE" ""
                        ${ARGN})
  get_filename_component(description "${arg_DESCRIPTION}" ABSOLUTE)
  get_filename_component(description_dir "${description}" DIRECTORY)
  file(GLOB images CONFIGURE_DEPENDS "${description_dir}/*.png" "${description_dir}/*.jpg"
       "${description_dir}/*.bmp")
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}/ProductData.cpp")
  add_custom_command(
    OUTPUT "${generated}"
    COMMAND "${CMAKE_COMMAND}" "-DDESCRIPTION=${description}" "-DOUTPUT=${generated}"
            "-DUPDATE_PATH=${arg_UPDATE_PATH}" "-DUPDATE_KEY_FILE=${arg_UPDATE_KEY_FILE}"
            -P "${UPDATER_PRODUCT_GENERATOR}"
    DEPENDS "${description}" ${images} "${UPDATER_PRODUCT_GENERATOR}" ${arg_UPDATE_KEY_FILE}
    COMMENT "Generating the resource data of ${target}")
  add_library(${target} SHARED "${PROJECT_SOURCE_DIR}/resourcelib/ResourcesUpd.cpp" "${generated}")
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_compile_definitions(${target} PRIVATE RESOURCESUPD_BUILDING)
  if(arg_FIVE_OPERATIONS)
    target_compile_definitions(${target} PRIVATE RESOURCESUPD_FIVE_OPERATIONS)
  endif()
  updater_target_settings(${target})
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")  # Lib/ResourcesUpd.dll
    # The compiler's runtime linked in, whatever the program's: a product line's library
    # needs only KERNEL32 and msvcrt, and ships alone.
    target_link_options(${target} PRIVATE -static)
    # Lib\ as a private assembly, through which a program's manifest binds the library.
    configure_file("${PROJECT_SOURCE_DIR}/cmake/windows/Lib.manifest" "${arg_TREE}/Lib/Lib.manifest"
                   COPYONLY)
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ResourcesUpd
    CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY "${arg_TREE}/Lib"
    RUNTIME_OUTPUT_DIRECTORY "${arg_TREE}/Lib"
    # Windows: each product line's import library (libResourcesUpd.dll.a) apart from the others'.
    ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/${target}")
endfunction()

# add_build_signing_key(<dir>)
#
# A minisign key pair made once by the build, without a password, as <dir>/minisign.pub and
# <dir>/minisign.key: for the demo and the tests, whose releases are signed in the build folder.
# A vendor's key is made once with `minisign -G`, kept away from any build, and only its public
# line goes into the product description (updateKey).
function(add_build_signing_key dir)
  find_program(UPDATER_MINISIGN minisign REQUIRED)
  add_custom_command(
    OUTPUT "${dir}/minisign.pub" "${dir}/minisign.key"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${dir}"
    COMMAND "${UPDATER_MINISIGN}" -G -W -f -p "${dir}/minisign.pub" -s "${dir}/minisign.key"
            > "${dir}/minisign.log"
    COMMENT "Making a signing key in ${dir}")
endfunction()
