# shellcheck shell=bash
# Constants the C++ sources define, read from their one definition so that no script writes
# them again; sourced, not run.

constants_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# cpp_string_constant <header> <name>: the value of the line
#   inline constexpr char <name>[] = "<value>";
# in the header (a path from the source root). Fails, saying so, unless exactly one such line
# holds a value without quotes or backslashes (which would need unescaping).
cpp_string_constant() {
  local header="$1" name="$2" values
  values="$(sed -n -E "s/^inline constexpr char $name\[\] = \"([^\"\\\\]+)\";\$/\1/p" \
    "$constants_root/$header")"
  if [ -z "$values" ] || [ "$(printf '%s\n' "$values" | wc -l)" -ne 1 ]; then
    echo "cannot read $name from $header" >&2
    return 1
  fi
  printf '%s\n' "$values"
}

# archive_password: the password of every update archive (update::kArchivePassword).
archive_password() {
  cpp_string_constant update/ExtractArchive.h kArchivePassword
}

# zip_test_password: the password of the zip tests' encrypted archives
# (testsupport::kZipTestPassword).
zip_test_password() {
  cpp_string_constant tests/support/ZipTestPassword.h kZipTestPassword
}
