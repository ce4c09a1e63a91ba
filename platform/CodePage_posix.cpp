#include "platform/CodePage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <string>
#include <system_error>

namespace platform {
namespace {

// The upper half of a single-byte code page, decoded once through iconv. After its
// construction a table is never written, so any thread may read it (the ZIP reader decodes
// names on the worker thread while the window decodes a version history file).
struct UpperHalf {
  std::array<char16_t, 128> character{};
  std::array<bool, 128> defined{};
};

const char* iconvName(CodePage page) {
  switch (page) {
    case CodePage::Oem850:
      return "CP850";
    case CodePage::Windows1252:
      return "CP1252";
  }
  return "CP1252";
}

// RAII for the conversion descriptor, so a throw while building cannot leak it.
class IconvHandle {
public:
  explicit IconvHandle(CodePage page) : cd_(iconv_open("UTF-16LE", iconvName(page))) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::system_error(errno, std::generic_category(),
                              std::string("Cannot convert from code page ") + iconvName(page));
    }
  }
  ~IconvHandle() { iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  // The UTF-16 code unit of one byte, or nothing when the code page leaves it undefined.
  bool decodeByte(unsigned char byte, char16_t& out) {
    char in = static_cast<char>(byte);
    unsigned char utf16[4] = {};
    char* inPtr = &in;
    size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(utf16);
    size_t outLeft = sizeof utf16;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
    // Both code pages lie in the Basic Multilingual Plane: one byte gives one code unit.
    if (sizeof utf16 - outLeft != 2) return false;
    out = static_cast<char16_t>(utf16[0] | (utf16[1] << 8));
    return true;
  }

private:
  iconv_t cd_;
};

UpperHalf buildUpperHalf(CodePage page) {
  IconvHandle converter(page);
  UpperHalf table;
  for (unsigned i = 0; i < 128; ++i) {
    const auto byte = static_cast<unsigned char>(128 + i);
    char16_t ch = 0;
    table.defined[i] = converter.decodeByte(byte, ch);
    // Windows gives an undefined byte the C1 control of the same value instead of failing.
    table.character[i] = table.defined[i] ? ch : static_cast<char16_t>(byte);
  }
  return table;
}

const UpperHalf& upperHalf(CodePage page) {
  // Function-local statics: built once, thread-safe, and retried if iconv failed.
  if (page == CodePage::Oem850) {
    static const UpperHalf oem = buildUpperHalf(CodePage::Oem850);
    return oem;
  }
  static const UpperHalf ansi = buildUpperHalf(CodePage::Windows1252);
  return ansi;
}

}  // namespace

CodePage ansiCodePage() {
  return CodePage::Windows1252;
}
CodePage oemCodePage() {
  return CodePage::Oem850;
}

std::u16string decode(std::string_view bytes, CodePage page) {
  std::u16string text;
  text.reserve(bytes.size());
  const UpperHalf* table = nullptr;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 128) {
      text.push_back(static_cast<char16_t>(byte));
      continue;
    }
    if (table == nullptr) table = &upperHalf(page);
    text.push_back(table->character[byte - 128]);
  }
  return text;
}

bool fitsCodePage(std::string_view bytes, CodePage page) {
  const UpperHalf* table = nullptr;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 128) continue;
    if (table == nullptr) table = &upperHalf(page);
    if (!table->defined[byte - 128]) return false;
  }
  return true;
}

}  // namespace platform
