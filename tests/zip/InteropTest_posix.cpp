// Archives made at test time by the archivers people use (7-Zip, Info-ZIP, Python's zipfile,
// libarchive's bsdtar), extracted by our reader and compared file by file with their source.
// A row whose tool is missing is skipped.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/RequiredTools.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipTestPassword.h"
#include "zip/ExclusiveFileStream.h"
#include "zip/Extractor.h"
#include "zip/PartFile.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::runIn;
using testsupport::writeFile;

const std::string password = testsupport::kZipTestPassword;

// Makes the tree every archive is made of: text, noise, an empty file, nesting, a UTF-8
// name, a read-only file and an empty directory.
void makeSourceTree(const fs::path& root) {
  std::mt19937 random(42);
  std::string text;
  while (text.size() < 150000) {
    text += "Factura " + std::to_string(random() % 100000) + " del cliente, importe " +
            std::to_string(random() % 1000) + ",00 EUR\n";
  }
  std::string noise(180000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  writeFile(root / "text.txt", text);
  writeFile(root / "noise.bin", noise);
  writeFile(root / "empty.txt", "");
  writeFile(root / "sub" / "deeper" / "nested.txt", text.substr(0, 5000));
  writeFile(root /
                "\xC3\xB1"
                "and\xC3\xBA \xE2\x82\xAC.txt",
            "utf-8 name");
  writeFile(root / "readonly.txt", "do not touch");
  fs::permissions(root / "readonly.txt",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_directories(root / "emptydir");
}

struct ToolCase {
  const char* label;
  const char* tool;
  // Run inside the source tree; makes ../archive.zip, encrypted with "$password".
  const char* command;
  bool encrypted;
};

// Python's zipfile writes no encryption; a small script gives it every method, streaming
// (data descriptors) when written to a pipe.
#define PYTHON_ZIP(method, target)                      \
  "python3 -c \"import os,sys,zipfile\n"                \
  "z=zipfile.ZipFile(" target ",'w'," method            \
  ")\n"                                                 \
  "for d,ds,fs in sorted(os.walk('.')):\n"              \
  "  for n in sorted(ds): z.write(os.path.join(d,n))\n" \
  "  for n in sorted(fs): z.write(os.path.join(d,n))\n" \
  "z.close()\""

const ToolCase toolCases[] = {
    {"InfoZipStored", "zip", "zip -q -r -0 ../archive.zip .", false},
    {"InfoZipDeflated", "zip", "zip -q -r ../archive.zip .", false},
    {"InfoZipBzip2", "zip", "zip -q -r -Z bzip2 ../archive.zip .", false},
    {"InfoZipStoredEncrypted", "zip", "zip -q -r -0 -P \"$password\" ../archive.zip .", true},
    {"InfoZipDeflatedEncrypted", "zip", "zip -q -r -P \"$password\" ../archive.zip .", true},
    {"InfoZipBzip2Encrypted", "zip", "zip -q -r -Z bzip2 -P \"$password\" ../archive.zip .", true},
    {"InfoZipZip64", "zip", "zip -q -r -fz ../archive.zip .", false},
    {"InfoZipStreamed", "zip", "zip -q -r - . > ../archive.zip", false},
    {"InfoZipStreamedEncrypted", "zip", "zip -q -r -P \"$password\" - . > ../archive.zip", true},
    {"InfoZipComment", "zip",
     "zip -q -r ../archive.zip . && echo 'Actualizacion 2.4.1.7' | zip -q -z ../archive.zip",
     false},
    {"SevenZipStored", "7zz", "7zz a -bd -tzip -mm=Copy ../archive.zip . >/dev/null", false},
    {"SevenZipDeflated", "7zz", "7zz a -bd -tzip -mm=Deflate ../archive.zip .", false},
    {"SevenZipBzip2", "7zz", "7zz a -bd -tzip -mm=BZip2 ../archive.zip .", false},
    {"SevenZipLzma", "7zz", "7zz a -bd -tzip -mm=LZMA ../archive.zip .", false},
    {"SevenZipLzmaEndMarker", "7zz", "7zz a -bd -tzip -mm=LZMA:eos ../archive.zip .", false},
    {"SevenZipStoredEncrypted", "7zz",
     "7zz a -bd -tzip -mm=Copy -mem=ZipCrypto -p\"$password\" ../archive.zip .", true},
    {"SevenZipDeflatedEncrypted", "7zz",
     "7zz a -bd -tzip -mm=Deflate -mem=ZipCrypto -p\"$password\" ../archive.zip .", true},
    {"SevenZipBzip2Encrypted", "7zz",
     "7zz a -bd -tzip -mm=BZip2 -mem=ZipCrypto -p\"$password\" ../archive.zip .", true},
    {"SevenZipLzmaEncrypted", "7zz",
     "7zz a -bd -tzip -mm=LZMA -mem=ZipCrypto -p\"$password\" ../archive.zip .", true},
    {"SevenZipDeflate64", "7zz", "7zz a -bd -tzip -mm=Deflate64 ../archive.zip .", false},
    {"SevenZipDeflate64Fast", "7zz", "7zz a -bd -tzip -mm=Deflate64 -mx=1 ../archive.zip .", false},
    {"SevenZipDeflate64Best", "7zz", "7zz a -bd -tzip -mm=Deflate64 -mx=9 ../archive.zip .", false},
    {"SevenZipDeflate64Encrypted", "7zz",
     "7zz a -bd -tzip -mm=Deflate64 -mem=ZipCrypto -p\"$password\" ../archive.zip .", true},
    {"SevenZipPpmd", "7zz", "7zz a -bd -tzip -mm=PPMd ../archive.zip .", false},
    {"SevenZipPpmdSmallModel", "7zz", "7zz a -bd -tzip -mm=PPMd:mem=1m:o=3 ../archive.zip .",
     false},
    {"SevenZipPpmdOrder2", "7zz", "7zz a -bd -tzip -mm=PPMd:mem=1m:o=2 ../archive.zip .", false},
    {"SevenZipPpmdOrder16CutOff", "7zz",
     "7zz a -bd -tzip -mm=PPMd:mem=1m:o=16:a=1 ../archive.zip .", false},
    {"SevenZipPpmdBest", "7zz", "7zz a -bd -tzip -mm=PPMd -mx=9 ../archive.zip .", false},
    {"SevenZipPpmdEncrypted", "7zz",
     "7zz a -bd -tzip -mm=PPMd -mem=ZipCrypto -p\"$password\" ../archive.zip .", true},
    {"PythonStored", "python3", PYTHON_ZIP("zipfile.ZIP_STORED", "'../archive.zip'"), false},
    {"PythonDeflated", "python3", PYTHON_ZIP("zipfile.ZIP_DEFLATED", "'../archive.zip'"), false},
    {"PythonBzip2", "python3", PYTHON_ZIP("zipfile.ZIP_BZIP2", "'../archive.zip'"), false},
    {"PythonLzma", "python3", PYTHON_ZIP("zipfile.ZIP_LZMA", "'../archive.zip'"), false},
    {"PythonLzmaStreamed", "python3",
     PYTHON_ZIP("zipfile.ZIP_LZMA", "sys.stdout.buffer") " | cat > ../archive.zip", false},
    {"BsdtarDeflated", "bsdtar", "bsdtar --format zip -cf ../archive.zip .", false},
    {"BsdtarStored", "bsdtar",
     "bsdtar --format zip --options zip:compression=store -cf ../archive.zip .", false},
    {"BsdtarDeflatedEncrypted", "bsdtar",
     "bsdtar --format zip --options zip:encryption=zipcrypt --passphrase \"$password\" "
     "-cf ../archive.zip .",
     true},
};

class InteropTest : public testing::TestWithParam<ToolCase> {};

// Extracts the archive file as the updater does: through the exclusive file it was
// downloaded into.
zip::ExtractionReport extractFile(const fs::path& archivePath, const fs::path& base,
                                  const std::string& usedPassword) {
  platform::ExclusiveFile file(archivePath, platform::ExclusiveFile::Mode::OpenExisting);
  zip::ExclusiveFileStream stream(file);
  zip::ZipArchive archive(stream);
  return zip::Extractor(archive, base, {.password = {usedPassword, testsupport::kZipPasswordTests}})
      .run();
}

void expectSameTree(const fs::path& source, const fs::path& copy) {
  size_t compared = 0;
  for (const auto& item : fs::recursive_directory_iterator(source)) {
    const fs::path relative = fs::relative(item.path(), source);
    SCOPED_TRACE(relative.string());
    const fs::path extracted = copy / relative;
    if (item.is_directory()) {
      EXPECT_TRUE(fs::is_directory(extracted));
      continue;
    }
    ASSERT_TRUE(fs::is_regular_file(extracted));
    EXPECT_EQ(readFile(extracted), readFile(item.path()));
    const bool sourceWritable =
        (item.status().permissions() & fs::perms::owner_write) != fs::perms::none;
    const bool copyWritable =
        (fs::status(extracted).permissions() & fs::perms::owner_write) != fs::perms::none;
    EXPECT_EQ(copyWritable, sourceWritable);
    ++compared;
  }
  EXPECT_EQ(compared, 6u);
  for (const auto& item : fs::recursive_directory_iterator(copy)) {
    EXPECT_EQ(item.path().filename().string().find(zip::PartFile::marker), std::string::npos);
  }
}

TEST_P(InteropTest, ExtractsWhatTheToolArchived) {
  const ToolCase& row = GetParam();
  UPDATER_REQUIRE_TOOLS(row.tool);
  testsupport::ScratchDirectory scratch;
  makeSourceTree(scratch / "source");
  const std::string command =
      "password='" + std::string(testsupport::kZipTestPassword) + "'; " + row.command;
  ASSERT_TRUE(runIn(scratch / "source", command)) << row.command;
  // Time stamps of the archive are checked where the fixture is ours; here only content,
  // attributes and layout.
  fs::create_directories(scratch / "out");
  const auto report = extractFile(scratch / "archive.zip", scratch / "out", password);
  for (const auto& skipped : report.skipped)
    ADD_FAILURE() << skipped.name << ": " << skipped.reason;
  expectSameTree(scratch / "source", scratch / "out");

  if (row.encrypted) {
    fs::create_directories(scratch / "wrong");
    const auto refused = extractFile(scratch / "archive.zip", scratch / "wrong", "wrong");
    EXPECT_GE(refused.skipped.size(), 5u);
    // Some tools store empty files unencrypted; nothing else may come out.
    for (const auto& item : fs::recursive_directory_iterator(scratch / "wrong")) {
      if (item.is_regular_file()) {
        EXPECT_EQ(item.file_size(), 0u) << item.path();
      }
    }
  }
}

// Entries as MS-DOS tools write them: "\" as separator, attributes in the low byte.
TEST(InteropDosEntries, BackslashNamesAttributesAndTimes) {
  UPDATER_REQUIRE_TOOLS("python3");
  testsupport::ScratchDirectory scratch;
  fs::create_directories(scratch / "source");
  writeFile(scratch / "source" / "make.py", R"(import zipfile
z = zipfile.ZipFile('../archive.zip', 'w')
def add(name, data, attributes):
    info = zipfile.ZipInfo(name, (2023, 5, 17, 10, 30, 44))
    info.create_system = 0
    info.external_attr = attributes
    info.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(info, data)
add('dir\\', b'', 0x10)
add('dir\\sub\\file.txt', b'nested', 0x20)
add('dir\\readonly.txt', b'locked', 0x21)
add('top.txt', b'top', 0x20)
z.close()
)");
  ASSERT_TRUE(runIn(scratch / "source", "python3 make.py"));
  fs::create_directories(scratch / "out");
  const auto report = extractFile(scratch / "archive.zip", scratch / "out", password);
  EXPECT_TRUE(report.skipped.empty());
  EXPECT_EQ(report.filesWritten, 3u);
  EXPECT_EQ(report.directoriesWritten, 1u);
  EXPECT_EQ(readFile(scratch / "out" / "dir" / "sub" / "file.txt"), "nested");
  EXPECT_EQ(
      fs::status(scratch / "out" / "dir" / "readonly.txt").permissions() & fs::perms::owner_write,
      fs::perms::none);
  EXPECT_NE(fs::status(scratch / "out" / "top.txt").permissions() & fs::perms::owner_write,
            fs::perms::none);

  std::tm stored{};
  stored.tm_year = 2023 - 1900;
  stored.tm_mon = 4;
  stored.tm_mday = 17;
  stored.tm_hour = 10;
  stored.tm_min = 30;
  stored.tm_sec = 44;
  stored.tm_isdst = -1;
  const auto written =
      std::chrono::file_clock::to_sys(fs::last_write_time(scratch / "out" / "top.txt"));
  EXPECT_EQ(std::chrono::system_clock::to_time_t(
                std::chrono::time_point_cast<std::chrono::system_clock::duration>(written)),
            std::mktime(&stored));
}

INSTANTIATE_TEST_SUITE_P(Tools, InteropTest, testing::ValuesIn(toolCases),
                         [](const testing::TestParamInfo<ToolCase>& row) {
                           return row.param.label;
                         });

}  // namespace
