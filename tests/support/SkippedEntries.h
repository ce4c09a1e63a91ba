// The entries an extraction skipped, as (name, cause) pairs in order, for comparing in tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Causes = std::vector<std::pair<std::string, std::string>>;

// result: anything with `skipped`, a list of entries with `name` and `reason`.
template <typename Result>
Causes causes(const Result& result) {
  Causes out;
  for (const auto& entry : result.skipped) out.emplace_back(entry.name, entry.reason);
  return out;
}

}  // namespace testsupport
