#include "zip/FileAttributes.h"

#include "platform/FileStamps.h"
#include "zip/ZipEntry.h"

namespace zip {
namespace {

constexpr uint32_t unixTypeMask = 0xF000;
constexpr uint32_t unixRegularFile = 0x8000;
constexpr uint32_t unixDirectory = 0x4000;
constexpr uint32_t unixOwnerWrite = 0x80;
constexpr uint32_t unixExecuteBits = 0111;

bool madeOnUnix(uint8_t hostSystem) {
  return hostSystem == static_cast<uint8_t>(HostSystem::Unix);
}

}  // namespace

uint32_t attributesFromExternal(uint32_t externalAttributes, uint8_t hostSystem) {
  if (!madeOnUnix(hostSystem) && externalAttributes <= 0x1FFFF) {
    return externalAttributes & 0xFF;
  }
  const uint32_t mode = externalAttributes >> 16;
  uint32_t attributes = 0;
  if ((mode & unixOwnerWrite) == 0) attributes |= platform::ReadOnly;
  const uint32_t type = mode & unixTypeMask;
  if (type == unixDirectory) {
    attributes |= platform::DirectoryAttribute;
  } else if (type != unixRegularFile && type != 0) {
    attributes |= platform::System;
  }
  return attributes;
}

uint32_t executeBitsFromExternal(uint32_t externalAttributes, uint8_t hostSystem) {
  const uint32_t mode = externalAttributes >> 16;
  const uint32_t type = mode & unixTypeMask;
  if (!madeOnUnix(hostSystem) || (type != unixRegularFile && type != 0)) return 0;
  return mode & unixExecuteBits;
}

}  // namespace zip
