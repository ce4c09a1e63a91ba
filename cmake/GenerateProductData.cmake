# Script mode: turns a product description into the C++ data of a resource library.
#   cmake -DDESCRIPTION=product.txt -DOUTPUT=ProductData.cpp [-DUPDATE_PATH=url] -P GenerateProductData.cmake
#
# A description has one setting a line ("#" starts a comment):
#   sistema     KUB
#   updatePath  https://host/kub/
#   updateName  VersionesKUB.txt
#   updateKey   RWQ...          (optional: the key line of the minisign.pub its releases are
#                                signed with; the updater then installs only what it verifies)
#   colour <key> AARRGGBB
#   image  <name> <file, relative to the description>

function(cxx_u16_literal out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "u\"${text}\"" PARENT_SCOPE)
endfunction()

get_filename_component(base_dir "${DESCRIPTION}" DIRECTORY)
file(STRINGS "${DESCRIPTION}" lines ENCODING UTF-8)

set(sistema "")
set(update_path "")
set(update_name "")
set(update_key "")
set(colours "")
set(images "")
set(image_data "")
set(image_count 0)
set(colour_count 0)

foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(line MATCHES "^colour[ \t]+([^ \t]+)[ \t]+([0-9A-Fa-f]+)$")
    cxx_u16_literal(key "${CMAKE_MATCH_1}")
    string(APPEND colours "  {${key}, 0x${CMAKE_MATCH_2}u},\n")
    math(EXPR colour_count "${colour_count} + 1")
  elseif(line MATCHES "^image[ \t]+([^ \t]+)[ \t]+(.+)$")
    cxx_u16_literal(name "${CMAKE_MATCH_1}")
    set(file "${base_dir}/${CMAKE_MATCH_2}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "${DESCRIPTION}: image file ${file} not found")
    endif()
    file(READ "${file}" hex HEX)
    string(LENGTH "${hex}" hex_length)
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x..,){24})" "\\1\n  " bytes "${bytes}")
    string(APPEND image_data
      "const unsigned char kImage${image_count}[] = {\n  ${bytes}0};\n")
    string(APPEND images "  {${name}, kImage${image_count}, ${size}},\n")
    math(EXPR image_count "${image_count} + 1")
  elseif(line MATCHES "^sistema[ \t]*(.*)$")
    set(sistema "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^updatePath[ \t]*(.*)$")
    set(update_path "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^updateName[ \t]*(.*)$")
    set(update_name "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^updateKey[ \t]*(.*)$")
    set(update_key "${CMAKE_MATCH_1}")
    # Only base64 can get here; whether it is a key the updater checks at its start.
    if(NOT update_key MATCHES "^[A-Za-z0-9+/=]*$")
      message(FATAL_ERROR "${DESCRIPTION}: the updateKey is not a base64 line")
    endif()
  else()
    message(FATAL_ERROR "${DESCRIPTION}: cannot read the line '${line}'")
  endif()
endforeach()

if(DEFINED UPDATE_KEY_FILE AND NOT UPDATE_KEY_FILE STREQUAL "")
  # The key line of a minisign.pub made at build time (the demo's): its second line.
  file(STRINGS "${UPDATE_KEY_FILE}" key_lines)
  list(GET key_lines 1 update_key)
endif()
if(DEFINED UPDATE_PATH AND NOT UPDATE_PATH STREQUAL "")
  set(update_path "${UPDATE_PATH}")
endif()
if(colour_count EQUAL 0)
  string(APPEND colours "  {u\"\", 0u},\n")  # an array may not be empty; the count says 0
endif()
if(image_count EQUAL 0)
  string(APPEND images "  {u\"\", nullptr, 0},\n")
endif()

cxx_u16_literal(sistema_literal "${sistema}")
cxx_u16_literal(path_literal "${update_path}")
cxx_u16_literal(name_literal "${update_name}")
cxx_u16_literal(key_literal "${update_key}")

set(content "// Generated from ${DESCRIPTION}. Do not edit.
#include \"resourcelib/ProductData.h\"

namespace product {
namespace {
${image_data}}  // namespace

const std::u16string_view kSistema = ${sistema_literal};
const std::u16string_view kUpdatePath = ${path_literal};
const std::u16string_view kUpdateName = ${name_literal};
const std::u16string_view kUpdateKey = ${key_literal};
const Colour kColours[] = {
${colours}};
const size_t kColourCount = ${colour_count};
const Image kImages[] = {
${images}};
const size_t kImageCount = ${image_count};

}  // namespace product
")

# Rewrite only on change, so an unchanged description rebuilds nothing.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
