// Which of the optional codecs the zip library of this build has (zip/CMakeLists.txt:
// UPDATER_ZIP_BZIP2, UPDATER_ZIP_LZMA, UPDATER_ZIP_WAVPACK; the ZIP fixtures follow the same
// options). A table row for a method the build leaves out is not made at all, so the same
// test sources run on every build and a new row runs wherever its method is there; nothing is
// excluded by name.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <type_traits>
#include <vector>

namespace testsupport {

inline constexpr bool kBzip2Built = UPDATER_ZIP_BZIP2_BUILT;
inline constexpr bool kLzmaBuilt = UPDATER_ZIP_LZMA_BUILT;
inline constexpr bool kWavPackBuilt = UPDATER_ZIP_WAVPACK_BUILT;

// Whether this build decodes the method (the methods written here are always there).
constexpr bool methodBuilt(uint16_t method) {
  switch (method) {
    case 12:
      return kBzip2Built;
    case 14:
      return kLzmaBuilt;
    case 97:
      return kWavPackBuilt;
    default:
      return true;
  }
}

// The method where the build has it, deflate where it does not: for tables whose shape (sizes,
// order, failures) matters more than the method of one row.
constexpr uint16_t builtOrDeflated(uint16_t method) {
  return methodBuilt(method) ? method : uint16_t{8};
}

inline std::vector<uint16_t> builtMethods(std::initializer_list<uint16_t> methods) {
  std::vector<uint16_t> built;
  for (const uint16_t method : methods)
    if (methodBuilt(method)) built.push_back(method);
  return built;
}

// The rows of a table (rows with a `method`) whose method this build decodes.
template <class Rows>
auto rowsOfBuiltMethods(const Rows& rows) {
  std::vector<std::decay_t<decltype(*std::begin(rows))>> built;
  for (const auto& row : rows)
    if (methodBuilt(row.method)) built.push_back(row);
  return built;
}

}  // namespace testsupport
