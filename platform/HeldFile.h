// A new file that carries a lock for as long as its writer holds it, so that anyone can tell a
// file being written now from one a killed process left behind (no one holds that one), and
// remove only the latter. The lock is the one every opener of this program meets: flock on
// POSIX systems, as ExclusiveFile takes; on Windows a handle that shares nothing but deletion.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace platform {

class HeldFile {
public:
  // Creates the file at path, failing when something exists there; throws std::system_error
  // with the system's description. Where the system allows it, the file is locked before it
  // appears in its directory, so no one ever sees it unheld.
  static HeldFile createNew(const std::filesystem::path& path);

  HeldFile(HeldFile&& other) noexcept;
  HeldFile& operator=(HeldFile&& other) noexcept;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  ~HeldFile();  // lets go of the lock

  // Appends all of data through the held handle itself, unbuffered: callers write large
  // blocks. Throws std::system_error when the system refuses (a full disk, say). The lock lasts
  // until release() or the end of the HeldFile, also across a rename of the file.
  void write(std::span<const std::byte> data);
  void release();

  // For a file that will replace nothing: adds these execute bits (an archive's Unix entry may
  // carry them) where reading is allowed, so the umask keeps its word. A file that replaces
  // another takes that one's mode from platform::replaceFile instead. Nothing to do on Windows.
  // Best effort: false when the system refused.
  bool addExecuteBits(uint32_t executeBits);

private:
  explicit HeldFile(std::intptr_t handle) : handle_(handle) {}
  int descriptor() const;  // POSIX
  // The system's handle of the open file: a descriptor on POSIX, a HANDLE on Windows; -1 when
  // released.
  std::intptr_t handle_ = -1;
};

// Removes the file at path when no one holds it (a leftover of a killed writer); leaves a held
// one alone. Returns true when it removed the file.
bool removeIfUnheld(const std::filesystem::path& path);

}  // namespace platform
