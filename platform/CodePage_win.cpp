#include "platform/CodePage.h"

#include <windows.h>

#include <limits>
#include <system_error>

namespace platform {
namespace {

// The system's own names for its two code pages: with them Windows uses exactly the tables it
// uses everywhere else, whatever number they have.
UINT systemCodePage(CodePage page) {
  if (page == ansiCodePage()) return CP_ACP;
  if (page == oemCodePage()) return CP_OEMCP;
  return static_cast<UINT>(page);
}

// flags: 0 to decode as Windows always does, MB_ERR_INVALID_CHARS to fail instead.
// Returns false when the system refuses; throws when it has no converter at all.
bool convert(std::string_view bytes, CodePage page, DWORD flags, std::u16string& text) {
  text.clear();
  if (bytes.empty()) return true;
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    throw std::system_error(ERROR_INVALID_PARAMETER, std::system_category(), "Text too long");
  }
  const UINT codePage = systemCodePage(page);
  const int inLength = static_cast<int>(bytes.size());
  // A single-byte code page gives at most one code unit a byte.
  text.resize(bytes.size());
  const int written = MultiByteToWideChar(codePage, flags, bytes.data(), inLength,
                                          reinterpret_cast<wchar_t*>(text.data()), inLength);
  if (written == 0) {
    const DWORD error = GetLastError();
    if (error == ERROR_NO_UNICODE_TRANSLATION) return false;
    throw std::system_error(static_cast<int>(error), std::system_category(),
                            "Cannot convert from code page " + std::to_string(codePage));
  }
  text.resize(static_cast<size_t>(written));
  return true;
}

}  // namespace

CodePage ansiCodePage() {
  return static_cast<CodePage>(GetACP());
}

CodePage oemCodePage() {
  return static_cast<CodePage>(GetOEMCP());
}

std::u16string decode(std::string_view bytes, CodePage page) {
  std::u16string text;
  convert(bytes, page, 0, text);
  return text;
}

bool fitsCodePage(std::string_view bytes, CodePage page) {
  std::u16string text;
  if (!convert(bytes, page, MB_ERR_INVALID_CHARS, text)) return false;
  // Windows decodes a byte its code page leaves undefined (0x81 in 1252) as the C1 control of
  // the same value instead of refusing it; no defined character of these code pages is a C1
  // control, so one in the text marks a byte that does not fit.
  for (char16_t unit : text) {
    if (unit >= 0x80 && unit <= 0x9F) return false;
  }
  return true;
}

}  // namespace platform
