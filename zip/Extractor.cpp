#include "zip/Extractor.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "platform/FileStamps.h"
#include "zip/BaseDirectory.h"
#include "zip/FileAttributes.h"
#include "zip/Mask.h"
#include "zip/ReplacingSink.h"
#include "zip/TargetPath.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace zip {
namespace fs = std::filesystem;

namespace {

// The newest version of the application note whose features this reader may meet.
constexpr uint16_t maxVersionNeeded = 63;

// What the entries being decoded side by side may hold in memory together, and how many
// entries may be begun ahead of the one to be finished next: many, so that while a large entry
// is decoded the threads have small ones to decode beside it, and encrypted entries to decrypt
// together (DecodeLanes).
constexpr uint64_t memoryBudget = 24u << 20;
constexpr size_t maxPending = 256;
constexpr unsigned maxThreads = 4;

std::string displayName(const ZipEntry& entry) {
  return entry.name.empty() ? entry.rawName : entry.name;
}

std::string joined(const std::vector<std::string>& elements, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += (i == 0 ? "" : "/") + elements[i];
  return path;
}

// What decoding the entry may hold at most: an LZMA dictionary never exceeds the entry.
uint64_t decoderMemory(const ZipEntry& entry) {
  switch (entry.method) {
    case Lzma:
      return std::min<uint64_t>(entry.uncompressedSize, 256u << 20) + (64u << 10);
    case Bzip2:
      return 4u << 20;
    case Shrunk:
      return 96u << 10;  // 32 KiB window and the 13-bit code table
    case Deflate64:
      return 320u << 10;  // 256 KiB window and the code tables
    case WavPack:
      return 18u << 20;  // one frame (at most 16 MiB) and one call's decoded samples
    case Ppmd:
      // The model the data declares, up to 256 MiB, plus the decoder's 64 KiB of input; the
      // declaration is inside the data, so the bound is the largest model.
      return (256u << 20) + (64u << 10);
    default:
      return 64u << 10;
  }
}

unsigned threadCount(unsigned requested) {
  if (requested == 1) return 0;
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  return std::min(requested == 0 ? processors : requested, maxThreads);
}

// The execute bits of an entry made on Unix as a regular file; none for any other entry.
uint32_t storedExecuteBits(const ZipEntry& entry) {
  constexpr uint8_t unixHost = 3;
  const uint32_t mode = entry.externalAttributes >> 16;
  const uint32_t type = mode & 0170000;
  if (entry.hostSystem != unixHost || (type != 0 && type != 0100000)) return 0;
  return mode & 0111;
}

// Puts a decoded entry in place: a file whose content is already the entry's stays as it is,
// otherwise the part file replaces it, checked again at this last moment since decoding can
// take long and a rename would replace even a read-only file. The time and attributes are set
// either way; failing to set them is ignored, since the content is in place.
void place(const ZipEntry& entry, const fs::path& target, ReplacingSink& sink) {
  if (!sink.unchanged()) {
    BaseDirectory::checkReplaceable(target);
    sink.part()->replaceTarget(storedExecuteBits(entry));
  }
  platform::setLastWriteTimeFromDos(target, entry.dosDate, entry.dosTime);
  platform::applyAttributes(target,
                            attributesFromExternal(entry.externalAttributes, entry.hostSystem));
}

// An entry's work on a decoding thread: decode it into its part file unless the target holds
// its content already, then put it in place.
class FileJob final : public DecodeJob {
public:
  FileJob(const ZipEntry& entry, fs::path target, EntryReader& reader, ReplacingSink& sink)
      : entry_(entry), target_(std::move(target)), reader_(reader), sink_(sink) {}

  EntryReader* start(DecodeBuffers& buffers) override {
    if (sink_.holdsAlready(entry_.uncompressedSize, entry_.crc32, entry_.dosDate, entry_.dosTime)) {
      return nullptr;
    }
    reader_.begin(sink_, buffers);
    decoded_ = true;
    return &reader_;
  }

  void finish() override {
    if (decoded_) sink_.finish();
    place(entry_, target_, sink_);
  }

  // The entry waits to be finished in archive order, possibly long after; its part file goes
  // now, so that failed entries do not hold files open meanwhile.
  void abandon() noexcept override { sink_.discard(); }

private:
  const ZipEntry& entry_;
  const fs::path target_;
  EntryReader& reader_;
  ReplacingSink& sink_;
  bool decoded_ = false;
};

}  // namespace

// An entry begun: its outcome known already (failure, directory) or its decoding under way.
struct Extractor::Pending {
  const ZipEntry* entry = nullptr;
  std::vector<std::string> elements;
  std::optional<std::string> failure;
  fs::path target;  // file entries
  std::unique_ptr<EntryReader> reader;
  std::unique_ptr<ReplacingSink> sink;
  // Ends when the decoding thread has put the entry in place, or holds why it could not.
  std::future<DecodeJob::Failure> decoded;
  uint64_t memory = 0;

  bool isFile() const { return reader != nullptr; }
};

Extractor::Extractor(ZipArchive& archive, const fs::path& baseDirectory, ExtractOptions options)
    : archive_(archive), base_(baseDirectory), options_(std::move(options)) {}

Extractor::~Extractor() {
  // Let every job end before the part files and readers they use go away.
  pool_.reset();
}

ExtractionReport Extractor::run() {
  report_ = {};
  if (!pool_) pool_ = std::make_unique<DecodePool>(threadCount(options_.threads));
  const auto& entries = archive_.entries();
  for (size_t index = 0; index < entries.size(); ++index) {
    try {
      enqueue(prepare(entries[index]));
    } catch (const ExtractionEnded& ended) {
      finishAll();
      report_.skipped.push_back({displayName(entries[index]), ended.what()});
      report_.endedBy = ended.what();
      report_.entriesNotReached = entries.size() - index - 1;
      break;
    }
  }
  finishAll();
  return std::move(report_);
}

// Everything that must happen in order before an entry can be decoded: its name, its path,
// the directories that hold it. Throws ExtractionEnded; any other failure is the entry's own.
Extractor::Pending Extractor::prepare(const ZipEntry& entry) {
  Pending item;
  item.entry = &entry;
  try {
    if (entry.name.empty()) throw ZipError("the name is not valid text");
    if (!matchesMask(entry.name, options_.mask)) throw ZipError("the mask does not select it");
    auto elements = confinedPath(entry.name);
    if (!elements) throw ZipError("the name leads outside the base directory");
    item.elements = std::move(*elements);
    if (runsThroughPendingFile(item.elements)) finishAll();
    // The directory that holds the target is made outside the entry's own guard: when it
    // cannot be made, nothing after it could be placed where it belongs either.
    if (!item.elements.empty() && !base_.makeDirectories(item.elements, item.elements.size() - 1)) {
      throw ZipError("the path leads outside the base directory through a symbolic link");
    }
    if (!entry.isDirectory()) prepareFile(item);
  } catch (const ExtractionEnded&) {
    throw;
  } catch (const std::exception& failure) {
    item.failure = failure.what();
    item.reader.reset();
  }
  return item;
}

void Extractor::prepareFile(Pending& item) {
  const ZipEntry& entry = *item.entry;
  if (item.elements.empty()) throw ZipError("a file cannot replace the base directory");
  if (entry.versionNeeded > maxVersionNeeded) {
    throw ZipError("it needs version " + std::to_string(entry.versionNeeded) + " to extract");
  }
  if (entry.uncompressedSize > options_.maxEntrySize) throw ZipError("the entry is too large");
  item.target = base_.targetOf(item.elements);
  const fs::file_status status = base_.checkNotOutside(item.target);
  item.reader = std::make_unique<EntryReader>(archive_, entry, options_.password);
  // Checked now to spare decoding an entry that cannot be placed, and again, fully, before the
  // rename. Whether another opener holds the file is left to that last check: probing costs
  // opening the file, and a file that already holds the entry's content is not written at all.
  BaseDirectory::checkReplaceable(item.target, status, BaseDirectory::Holders::Ignore);
  item.memory = decoderMemory(entry);
}

void Extractor::enqueue(Pending item) {
  while (!pending_.empty() &&
         (pending_.size() >= maxPending || pendingMemory_ + item.memory > memoryBudget)) {
    finishOldest();
  }
  if (item.isFile()) {
    try {
      removeLeftoversOnce(item.target.parent_path());
      item.sink = std::make_unique<ReplacingSink>(item.target);
      item.decoded = pool_->submit(
          std::make_unique<FileJob>(*item.entry, item.target, *item.reader, *item.sink));
      pendingFiles_.insert(joined(item.elements, item.elements.size()));
      pendingMemory_ += item.memory;
    } catch (const std::exception& failure) {
      item.failure = failure.what();
      item.reader.reset();
      item.sink.reset();
    }
  }
  pending_.push_back(std::move(item));
}

void Extractor::finishOldest() {
  Pending item = std::move(pending_.front());
  pending_.pop_front();
  if (item.isFile()) {
    pendingFiles_.erase(pendingFiles_.find(joined(item.elements, item.elements.size())));
    pendingMemory_ -= item.memory;
  }
  finish(item);
}

void Extractor::finishAll() {
  while (!pending_.empty()) finishOldest();
}

// The entry's guard: whatever fails here skips this entry alone.
void Extractor::finish(Pending& item) {
  try {
    if (item.failure) throw ZipError(*item.failure);
    if (!item.isFile()) {
      writeDirectory(item);
      return;
    }
    if (const DecodeJob::Failure failure = item.decoded.get()) throw ZipError(*failure);
    ++report_.filesWritten;
  } catch (const std::exception& failure) {
    report_.skipped.push_back({displayName(*item.entry), failure.what()});
  } catch (...) {
    report_.skipped.push_back({displayName(*item.entry), "unknown error"});
  }
}

void Extractor::writeDirectory(const Pending& item) {
  if (item.elements.empty()) {
    // The base directory itself ("./"): it exists, and its attributes are not the archive's.
    ++report_.directoriesWritten;
    return;
  }
  // Its parents exist by now; only the directory itself is left, and failing to make it
  // fails this entry alone.
  try {
    if (!base_.makeDirectories(item.elements, item.elements.size())) {
      throw ZipError("the path leads outside the base directory through a symbolic link");
    }
  } catch (const ExtractionEnded& failure) {
    throw ZipError(failure.what());
  }
  // A directory's time is not set. Its read-only attribute is not applied either: on Windows
  // it does not stop files being created inside, while the missing write bits would here.
  const ZipEntry& entry = *item.entry;
  const uint32_t attributes =
      attributesFromExternal(entry.externalAttributes, entry.hostSystem) & ~platform::ReadOnly;
  platform::applyAttributes(base_.targetOf(item.elements), attributes);
  ++report_.directoriesWritten;
}

// Part files that killed extractions left in a directory go before this extraction adds its own
// there; those that anyone is writing now stay.
void Extractor::removeLeftoversOnce(const fs::path& directory) {
  if (cleanedDirectories_.insert(directory.native()).second) PartFile::removeLeftovers(directory);
}

// Whether a directory of the path, or the target itself, is where an entry still being decoded
// is to be placed: then that entry must be placed first, as one after another would.
bool Extractor::runsThroughPendingFile(const std::vector<std::string>& elements) const {
  if (pendingFiles_.empty()) return false;
  for (size_t count = 1; count <= elements.size(); ++count) {
    if (pendingFiles_.count(joined(elements, count)) > 0) return true;
  }
  return false;
}

}  // namespace zip
