#include "tests/support/PeFixture.h"

#include <charconv>
#include <fstream>
#include <stdexcept>
#include <string>

namespace testsupport {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kResourceRva = 0x1000;
constexpr uint32_t kRtRcdata = 10;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kLanguageEnUs = 0x0409;
constexpr uint32_t kSubdirectory = 0x80000000;

uint32_t alignUp(size_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

// A growing little-endian buffer with patching at known offsets.
class Bytes {
public:
  size_t size() const { return data_.size(); }
  std::vector<uint8_t>& data() { return data_; }

  void u8(uint8_t value) { data_.push_back(value); }
  void u16(uint16_t value) {
    u8(static_cast<uint8_t>(value));
    u8(static_cast<uint8_t>(value >> 8));
  }
  void u32(uint32_t value) {
    u16(static_cast<uint16_t>(value));
    u16(static_cast<uint16_t>(value >> 16));
  }
  void u64(uint64_t value) {
    u32(static_cast<uint32_t>(value));
    u32(static_cast<uint32_t>(value >> 32));
  }
  void zeros(size_t count) { data_.insert(data_.end(), count, 0); }
  void padTo(size_t alignment) {
    while (data_.size() % alignment != 0) u8(0);
  }
  void append(const std::vector<uint8_t>& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
  }
  void utf16(std::u16string_view text, bool terminate) {
    for (char16_t c : text) u16(static_cast<uint16_t>(c));
    if (terminate) u16(0);
  }

  void put16(size_t at, uint16_t value) {
    data_.at(at) = static_cast<uint8_t>(value);
    data_.at(at + 1) = static_cast<uint8_t>(value >> 8);
  }
  void put32(size_t at, uint32_t value) {
    put16(at, static_cast<uint16_t>(value));
    put16(at + 2, static_cast<uint16_t>(value >> 16));
  }

private:
  std::vector<uint8_t> data_;
};

// One block of a version resource: length, value length, type, key, value, children, each
// part starting on a 32-bit boundary.
struct VersionNode {
  std::u16string key;
  std::vector<uint8_t> value;
  uint16_t valueLength = 0;  // in bytes for binary values, in characters for text
  uint16_t type = 0;         // 0 binary, 1 text
  std::vector<VersionNode> children;
};

void serialize(const VersionNode& node, Bytes& out) {
  out.padTo(4);
  const size_t start = out.size();
  out.u16(0);  // the length, patched below
  out.u16(node.valueLength);
  out.u16(node.type);
  out.utf16(node.key, true);
  out.padTo(4);
  out.append(node.value);
  for (const VersionNode& child : node.children) serialize(child, out);
  out.put16(start, static_cast<uint16_t>(out.size() - start));
}

std::u16string versionText(const VersionQuad& v) {
  const std::string text = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                           std::to_string(v[2]) + "." + std::to_string(v[3]);
  return std::u16string(text.begin(), text.end());
}

VersionNode textNode(std::u16string key, std::u16string_view text) {
  Bytes value;
  value.utf16(text, true);
  return {std::move(key), value.data(), static_cast<uint16_t>(text.size() + 1), 1, {}};
}

std::vector<uint8_t> fixedFileInfo(const PeOptions& options) {
  const VersionQuad& f = options.fileVersion;
  const VersionQuad& p = options.productVersion;
  Bytes info;
  info.u32(options.damage == PeDamage::WrongFixedInfoSignature ? 0xFEEF04BE : 0xFEEF04BD);
  info.u32(0x00010000);  // structure version 1.0
  info.u32(static_cast<uint32_t>(f[0]) << 16 | f[1]);
  info.u32(static_cast<uint32_t>(f[2]) << 16 | f[3]);
  info.u32(static_cast<uint32_t>(p[0]) << 16 | p[1]);
  info.u32(static_cast<uint32_t>(p[2]) << 16 | p[3]);
  info.u32(0x3F);     // file flags mask
  info.u32(0);        // file flags
  info.u32(0x40004);  // VOS_NT_WINDOWS32
  info.u32(1);        // VFT_APP
  info.u32(0);        // subtype
  info.u64(0);        // date
  return info.data();
}

// VS_VERSIONINFO with the fixed file information and the usual string and translation
// tables, so that a reader has to find its way past children too.
std::vector<uint8_t> versionBlock(const PeOptions& options) {
  VersionNode strings{u"040904B0", {}, 0, 1, {}};
  strings.children.push_back(textNode(u"FileDescription", u"Versioned test executable"));
  strings.children.push_back(textNode(u"FileVersion", versionText(options.fileVersion)));
  strings.children.push_back(textNode(u"ProductVersion", versionText(options.productVersion)));
  VersionNode stringInfo{u"StringFileInfo", {}, 0, 1, {strings}};
  VersionNode translation{u"Translation", {0x09, 0x04, 0xB0, 0x04}, 4, 0, {}};
  VersionNode varInfo{u"VarFileInfo", {}, 0, 1, {translation}};

  const bool wrongKey = options.damage == PeDamage::WrongKey;
  VersionNode root{wrongKey ? u"VS_VERSION_INFX" : u"VS_VERSION_INFO",
                   fixedFileInfo(options),
                   52,
                   0,
                   {stringInfo, varInfo}};
  if (options.damage == PeDamage::ValueLengthTooSmall) root.valueLength = 20;

  Bytes out;
  serialize(root, out);
  if (options.damage == PeDamage::BlockLengthTooSmall) out.put16(0, 60);
  return out.data();
}

void directoryHeader(Bytes& out, uint16_t namedCount, uint16_t idCount) {
  out.u32(0);  // characteristics
  out.u32(0);  // time stamp
  out.u16(4);  // version 4.0, as linkers write it
  out.u16(0);
  out.u16(namedCount);
  out.u16(idCount);
}

struct ResourceSection {
  std::vector<uint8_t> bytes;
  size_t versionBlock = 0;  // offset within the section
};

// The resource tree: a named type and RT_RCDATA sharing one small blob, and RT_VERSION.
// Offsets of subdirectories are fixed below so that entries can point forward.
ResourceSection resourceSection(const PeOptions& options) {
  const bool withVersion = options.damage != PeDamage::NoVersionResource;
  const uint16_t rootIds = withVersion ? 2 : 1;
  constexpr uint32_t kRoot = 0;
  const uint32_t blobNames = 16 + 8 * (1 + rootIds);
  const uint32_t blobLanguages = blobNames + 24;
  const uint32_t versionNames = blobLanguages + 24;
  const uint32_t versionLanguages = versionNames + 24;
  const uint32_t blobData = versionLanguages + 24;
  const uint32_t versionData = blobData + 16;
  const uint32_t typeName = versionData + 16;

  const std::vector<uint8_t> blob = {'q', 'u', 'e', 'n', 'd', 'r', 'a', 'l'};
  const std::vector<uint8_t> version = versionBlock(options);

  Bytes out;
  // Root: types. Named entries come first, then ids in ascending order.
  directoryHeader(out, 1, options.damage == PeDamage::TooManyEntries ? 0xFFFF : rootIds);
  out.u32(kSubdirectory | typeName);
  out.u32(kSubdirectory | blobNames);
  out.u32(kRtRcdata);
  out.u32(kSubdirectory | blobNames);
  if (withVersion) {
    out.u32(kRtVersion);
    out.u32(options.damage == PeDamage::SubdirectoryOffsetHuge ? kSubdirectory | 0x7FFFFFF0
                                                               : kSubdirectory | versionNames);
  }
  // Names and languages of the blob.
  directoryHeader(out, 0, 1);
  out.u32(1);
  out.u32(kSubdirectory | blobLanguages);
  directoryHeader(out, 0, 1);
  out.u32(kLanguageEnUs);
  out.u32(blobData);
  // Names and languages of the version.
  directoryHeader(out, 0, 1);
  out.u32(1);
  out.u32(options.damage == PeDamage::ResourceLoopToRoot ? kSubdirectory | kRoot
                                                         : kSubdirectory | versionLanguages);
  directoryHeader(out, 0, 1);
  out.u32(kLanguageEnUs);
  out.u32(options.damage == PeDamage::ResourceSelfLoop ? kSubdirectory | versionLanguages
                                                       : versionData);
  // Data entries: RVA, size, code page, reserved. Their data follows the type name.
  const uint32_t blobAt = alignUp(typeName + 2 + 2 * 5, 4);
  const uint32_t versionAt = alignUp(blobAt + blob.size(), 4);
  out.u32(kResourceRva + blobAt);
  out.u32(static_cast<uint32_t>(blob.size()));
  out.u32(0);
  out.u32(0);
  uint32_t versionRva = kResourceRva + versionAt;
  auto versionSize = static_cast<uint32_t>(version.size());
  if (options.damage == PeDamage::DataRvaOutOfRange) versionRva = 0x00F00000;
  if (options.damage == PeDamage::DataSizeOutOfRange) versionSize += 0x10000;
  if (options.damage == PeDamage::DataSizeHuge) versionSize = 0xFFFFFFF0;
  out.u32(versionRva);
  out.u32(versionSize);
  out.u32(1200);  // UTF-16, as resource compilers write for version blocks
  out.u32(0);
  // The type name: a length and UTF-16 characters without terminator.
  out.u16(5);
  out.utf16(u"QDATA", false);

  out.padTo(4);
  out.append(blob);
  out.padTo(4);
  if (out.size() != versionAt) throw std::logic_error("resource section layout is off");
  out.append(version);
  return {out.data(), versionAt};
}

void dosHeader(Bytes& out, uint32_t peOffset) {
  out.u16(0x5A4D);  // "MZ"
  out.u16(0x90);    // bytes on the last page
  out.u16(3);       // pages
  out.u16(0);       // relocations
  out.u16(4);       // header paragraphs
  out.u16(0);       // minimum extra paragraphs
  out.u16(0xFFFF);  // maximum extra paragraphs
  out.u16(0);       // ss
  out.u16(0xB8);    // sp
  out.zeros(0x3C - out.size());
  out.u32(peOffset);
}

void optionalHeader(Bytes& out, const PeOptions& options, uint32_t rsrcSize, uint32_t rawSize) {
  const bool plus = options.format == PeFormat::Pe32Plus;
  uint16_t magic = plus ? 0x20B : 0x10B;
  if (options.damage == PeDamage::WrongOptionalMagic) magic = 0x107;
  out.u16(magic);
  out.u8(14);  // linker version
  out.u8(0);
  out.u32(0);             // size of code
  out.u32(rawSize);       // size of initialised data
  out.u32(0);             // size of uninitialised data
  out.u32(0);             // entry point: none, the file is never run
  out.u32(kResourceRva);  // base of code
  if (plus) {
    out.u64(0x140000000);
  } else {
    out.u32(kResourceRva);  // base of data
    out.u32(0x400000);
  }
  out.u32(kSectionAlignment);
  out.u32(kFileAlignment);
  out.u16(6);  // operating system version
  out.u16(0);
  out.u16(0);  // image version
  out.u16(0);
  out.u16(6);  // subsystem version
  out.u16(0);
  out.u32(0);                                                    // Win32 version value
  out.u32(kResourceRva + alignUp(rsrcSize, kSectionAlignment));  // size of image
  out.u32(kFileAlignment);                                       // size of headers
  out.u32(0);                                                    // checksum
  out.u16(2);                                                    // Windows GUI
  out.u16(0x8100);  // NX compatible, terminal server aware
  for (uint64_t value : {0x100000u, 0x1000u, 0x100000u, 0x1000u}) {  // stack, heap
    if (plus) {
      out.u64(value);
    } else {
      out.u32(static_cast<uint32_t>(value));
    }
  }
  out.u32(0);   // loader flags
  out.u32(16);  // data directories
  for (int i = 0; i < 16; ++i) {
    const bool resources = i == 2 && options.damage != PeDamage::NoResourceDirectory;
    out.u32(resources ? kResourceRva : 0);
    out.u32(resources ? rsrcSize : 0);
  }
}

}  // namespace

PeFixture buildPeFixture(const PeOptions& options) {
  const bool plus = options.format == PeFormat::Pe32Plus;
  const ResourceSection rsrc = resourceSection(options);
  const auto rsrcSize = static_cast<uint32_t>(rsrc.bytes.size());
  const uint32_t rawSize = alignUp(rsrcSize, kFileAlignment);

  PeFixture fixture;
  PeLayout& layout = fixture.layout;
  Bytes out;
  layout.peHeader = 0x40;
  dosHeader(out, options.damage == PeDamage::PeOffsetHuge ? 0xFFFFFFF0 : 0x40);

  out.u32(options.damage == PeDamage::WrongPeSignature ? 0x00005850 : 0x00004550);
  out.u16(plus ? 0x8664 : 0x14C);  // machine
  out.u16(1);                      // sections
  out.u32(0);                      // time stamp: fixed, so the file is reproducible
  out.u32(0);                      // symbol table
  out.u32(0);
  out.u16(plus ? 240 : 224);        // size of the optional header
  out.u16(plus ? 0x0022 : 0x0102);  // executable; large-address-aware or 32-bit
  layout.optionalHeader = out.size();
  optionalHeader(out, options, rsrcSize, rawSize);

  layout.sectionTable = out.size();
  for (char c : std::string_view(".rsrc\0\0\0", 8)) out.u8(static_cast<uint8_t>(c));
  out.u32(rsrcSize);
  out.u32(kResourceRva);
  out.u32(rawSize);
  out.u32(options.damage == PeDamage::SectionRawPointerHuge ? 0xFFFFFE00 : kFileAlignment);
  out.u32(0);  // relocations
  out.u32(0);  // line numbers
  out.u16(0);
  out.u16(0);
  out.u32(0x40000040);  // initialised data, readable

  out.zeros(kFileAlignment - out.size());
  layout.resourceSection = out.size();
  out.append(rsrc.bytes);
  out.padTo(kFileAlignment);

  layout.versionBlock = layout.resourceSection + rsrc.versionBlock;
  layout.fixedInfo = layout.versionBlock + 40;  // header, key and padding
  layout.versionBlockEnd = layout.resourceSection + rsrc.bytes.size();

  fixture.bytes = std::move(out.data());
  if (options.truncateAt && *options.truncateAt < fixture.bytes.size()) {
    fixture.bytes.resize(*options.truncateAt);
  }
  return fixture;
}

std::optional<VersionQuad> parseVersionQuad(std::string_view text) {
  VersionQuad version{};
  const char* next = text.data();
  const char* const end = text.data() + text.size();
  for (size_t i = 0; i < version.size(); ++i) {
    if (i > 0) {
      if (next == end || *next != '.') return std::nullopt;
      ++next;
    }
    // from_chars accepts no sign or blank, so "+1" and " 1" are refused as they should be.
    const auto [stop, error] = std::from_chars(next, end, version[i]);
    if (error != std::errc() || stop == next) return std::nullopt;
    next = stop;
  }
  if (next != end) return std::nullopt;
  return version;
}

void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("Cannot write " + path.string());
}

}  // namespace testsupport
