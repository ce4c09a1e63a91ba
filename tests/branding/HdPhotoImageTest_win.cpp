// decodeHdPhoto on Windows from a thread in any COM apartment, or in none: it decodes, and
// leaves the thread's COM as it found it (it balances only its own CoInitializeEx).
#include "branding/HdPhotoImage.h"
#include "tests/support/RunningUnderCi.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <QFile>
#include <QImage>
#include <string>
#include <thread>

namespace branding {
namespace {

struct ApartmentCase {
  const char* name;
  bool initialised;  // by the thread before the call, with the mode below
  DWORD mode;
};

void PrintTo(const ApartmentCase& row, std::ostream* out) {
  *out << row.name;
}

// What CoInitializeEx answers on this thread, balanced at once: S_OK when the thread was in no
// apartment, S_FALSE when it was in one of that mode, RPC_E_CHANGED_MODE in one of the other.
// Unlike CoGetApartmentType it answers for the thread itself, whatever other threads do.
HRESULT probe(DWORD mode) {
  const HRESULT result = CoInitializeEx(nullptr, mode);
  if (SUCCEEDED(result)) CoUninitialize();
  return result;
}

class DecodesFromAnyApartment : public ::testing::TestWithParam<ApartmentCase> {};

TEST_P(DecodesFromAnyApartment, AndLeavesTheThreadAsItWas) {
  const ApartmentCase& row = GetParam();
  QFile file(QStringLiteral(HD_PHOTO_FIXTURES "/pattern.jxr"));
  if (!file.open(QIODevice::ReadOnly)) {
    UPDATER_SKIP_OR_FAIL_UNDER_CI() << "pattern.jxr was not made (needs convert and JxrEncApp)";
  }
  const QByteArray data = file.readAll();

  QSize decoded;
  HRESULT own = E_FAIL, afterDecoding = E_FAIL, afterOwnUninitialise = E_FAIL;
  std::thread([&] {
    if (row.initialised) own = CoInitializeEx(nullptr, row.mode);
    decoded = decodeHdPhoto(data, {4096, 4096}, 4800).size();
    afterDecoding = probe(row.initialised ? row.mode : DWORD{COINIT_MULTITHREADED});
    if (SUCCEEDED(own)) CoUninitialize();
    afterOwnUninitialise = probe(COINIT_MULTITHREADED);
  }).join();

  if (row.initialised) {
    ASSERT_EQ(own, S_OK);
  }
  EXPECT_EQ(decoded, QSize(40, 30));
  // Still in the apartment it was in (its own initialisation not undone), or in none.
  EXPECT_EQ(afterDecoding, row.initialised ? S_FALSE : S_OK);
  // Out of COM once the thread's own initialisation is undone: none of the decoder's is left.
  EXPECT_EQ(afterOwnUninitialise, S_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Threads, DecodesFromAnyApartment,
    ::testing::Values(ApartmentCase{"WithoutCom", false, 0},
                      ApartmentCase{"SingleThreaded", true, COINIT_APARTMENTTHREADED},
                      ApartmentCase{"Multithreaded", true, COINIT_MULTITHREADED}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace branding
