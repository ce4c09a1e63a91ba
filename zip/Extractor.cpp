#include "zip/Extractor.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/FileNameKey.h"
#include "platform/FileStamps.h"
#include "zip/BackgroundFlush.h"
#include "zip/BaseDirectory.h"
#include "zip/FileAttributes.h"
#include "zip/Mask.h"
#include "zip/PartFile.h"
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
// With a journal, the part files written so far are flushed in the background each time this
// much more has been decoded (BackgroundFlush): large enough that the disk writes in long runs,
// small enough that the flush before the journal has little left to wait for.
constexpr uint64_t backgroundFlushEvery = 16u << 20;

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

FileStamp stampOf(const ZipEntry& entry) {
  return {.dosDate = entry.dosDate,
          .dosTime = entry.dosTime,
          .attributes = attributesFromExternal(entry.externalAttributes, entry.hostSystem),
          .executeBitsIfNew = executeBitsFromExternal(entry.externalAttributes, entry.hostSystem)};
}

// An entry's work on a decoding thread: decode it into its part file, staged for the second
// phase, unless the target holds its content already. That one is left in place and given the
// entry's time and attributes at once, through the handle it was read by: its content is the
// new version's already.
class FileJob final : public DecodeJob {
public:
  FileJob(const ZipEntry& entry, EntryReader& reader, ReplacingSink& sink)
      : entry_(entry), reader_(reader), sink_(sink) {}

  EntryReader* start(DecodeBuffers& buffers) override {
    if (sink_.holdsAlready(entry_.uncompressedSize, entry_.crc32, entry_.dosDate, entry_.dosTime)) {
      return nullptr;
    }
    reader_.begin(sink_, buffers);
    return &reader_;
  }

  void finish() override {
    if (sink_.unchanged()) {
      sink_.keep(stampOf(entry_));
    } else {
      sink_.finish(stampOf(entry_));
    }
  }

  // The entry waits to be finished in archive order, possibly long after; its part file goes
  // now, so that failed entries do not hold files open meanwhile.
  void abandon() noexcept override { sink_.discard(); }

private:
  const ZipEntry& entry_;
  EntryReader& reader_;
  ReplacingSink& sink_;
};

// A staged file's work in the second phase: its part file replaces its target. Done as the job
// starts; there is nothing to decode. On a thread of the pool, so that the renames, and what
// the file system does to free each replaced file, go on side by side.
class InstallJob final : public DecodeJob {
public:
  InstallJob(BaseDirectory::Folder folder, const std::string& part, const std::string& target,
             const FileStamp& stamp)
      : folder_(std::move(folder)), part_(part), target_(target), stamp_(stamp) {}

  EntryReader* start(DecodeBuffers&) override {
    PartFile::install(*folder_, part_, target_, stamp_);
    return nullptr;
  }
  void finish() override {}
  // The target stays as it was; its part file goes.
  void abandon() noexcept override { folder_->remove(part_); }

private:
  BaseDirectory::Folder folder_;
  const std::string& part_;
  const std::string& target_;
  const FileStamp& stamp_;
};

}  // namespace

// An entry begun: its outcome known already (failure, directory) or its decoding under way.
struct Extractor::Pending {
  const ZipEntry* entry = nullptr;
  size_t index = 0;
  std::vector<std::string> elements;
  std::optional<std::string> failure;
  // File entries: the open folder of the target, its name there, and what stood there when
  // the entry was prepared. The folder outlives what the entry's job and sink do in it.
  BaseDirectory::Folder folder;
  std::string name;
  platform::FileStatus found;
  std::string key;  // the target's key (platform::fileNameKey) while it is pending
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
  skipped_.clear();
  writeRefused_.reset();
  if (!pool_) pool_ = std::make_unique<DecodePool>(threadCount(options_.threads));
  const auto& entries = archive_.entries();
  archiveTargets_.clear();
  for (const ZipEntry& entry : entries) {
    if (const auto elements = confinedPath(entry.name); elements && !elements->empty()) {
      archiveTargets_.insert(platform::fileNameKey(joined(*elements, elements->size())));
    }
  }
  try {
    if (auto shortfall = checkFreeSpace()) throw ExtractionEnded(*shortfall);
    if (!options_.journal.empty()) {
      journal_ = std::make_unique<JournalFile>(options_.journal);
      writeJournal(InstallJournal::Phase::Decoding);
      backgroundFlush_ = std::make_unique<BackgroundFlush>([this] { base_.syncFileSystem(); },
                                                           backgroundFlushEvery);
    }
  } catch (const ZipError& refused) {
    report_.endedBy = refused.what();
    report_.entriesNotReached = entries.size();
    return std::move(report_);
  }
  for (size_t index = 0; index < entries.size(); ++index) {
    try {
      enqueue(prepare(entries[index], index));
    } catch (const ExtractionEnded& ended) {
      finishAll();
      skip(index, entries[index], ended.what());
      report_.endedBy = ended.what();
      report_.entriesNotReached = entries.size() - index - 1;
      break;
    }
    if (writeRefused_) {
      report_.entriesNotReached = entries.size() - index - 1;
      break;
    }
  }
  finishAll();
  if (!report_.endedBy) installStaged();
  // Also when the journal of the renames could not be written: then nothing was renamed.
  if (writeRefused_ && !report_.endedBy) report_.endedBy = writeRefused_;
  if (report_.endedBy) discardStaged();
  backgroundFlush_.reset();
  if (journal_) {
    // The renames on disk before the journal that would complete them goes.
    if (!report_.endedBy) base_.syncFileSystem();
    journal_->remove();
    journal_.reset();
  }
  std::stable_sort(skipped_.begin(), skipped_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [index, skipped] : skipped_) report_.skipped.push_back(std::move(skipped));
  skipped_.clear();
  return std::move(report_);
}

// The bytes of the files the run will write (those whose targets already look like the entry,
// ReplacingSink::mayHoldAlready, left out) against the free space on the base's file system.
// Also lists, for the journal, the files the run may write. Makes nothing.
std::optional<std::string> Extractor::checkFreeSpace() {
  journalTargets_.clear();
  uint64_t needed = 0;
  for (const ZipEntry& entry : archive_.entries()) {
    if (entry.isDirectory() || entry.name.empty() || !matchesMask(entry.name, options_.mask) ||
        entry.uncompressedSize > options_.maxEntrySize) {
      continue;
    }
    const auto elements = confinedPath(entry.name);
    if (!elements || elements->empty()) continue;
    journalTargets_.push_back(joined(*elements, elements->size()));
    platform::FileStatus found;
    if (const auto folder = base_.existingFolder(*elements, elements->size() - 1)) {
      try {
        found = folder->status(elements->back());
      } catch (const std::system_error&) {
      }
    }
    if (ReplacingSink::mayHoldAlready(found, entry.uncompressedSize, entry.dosDate,
                                      entry.dosTime)) {
      continue;
    }
    needed =
        needed + entry.uncompressedSize < needed ? UINT64_MAX : needed + entry.uncompressedSize;
  }
  const std::optional<uint64_t> free = base_.freeSpace();
  const uint64_t reserve = options_.freeSpaceReserve;
  if (!free || (needed <= *free && *free - needed >= reserve)) return std::nullopt;
  return "not enough free space in " + base_.path().string() + ": the files need " +
         std::to_string(needed) + " bytes and " + std::to_string(reserve) +
         " must stay free, but only " + std::to_string(*free) + " are";
}

void Extractor::writeJournal(InstallJournal::Phase phase) {
  InstallJournal journal;
  journal.phase = phase;
  if (phase == InstallJournal::Phase::Decoding) {
    for (const std::string& target : journalTargets_) {
      InstallJournal::File file;
      file.target = target;
      journal.files.push_back(std::move(file));
    }
  } else {
    for (const Staged& file : staged_) {
      journal.files.push_back({.target = joined(file.elements, file.elements.size()),
                               .part = file.part,
                               .attributes = file.stamp.attributes,
                               .executeBitsIfNew = file.stamp.executeBitsIfNew});
    }
  }
  journal_->write(journal, phase == InstallJournal::Phase::Renaming);
}

// The second phase, for the files staged so far: each part file replaces its target, on the
// decoding threads (InstallJob). With a journal, the part files' data reaches the disk first,
// then the journal of the renames, so that a power loss at any moment leaves what a start
// completes.
void Extractor::installStaged() {
  if (staged_.empty() || writeRefused_) return;
  if (journal_) {
    try {
      if (!base_.syncFileSystem()) throw WriteRefused("cannot write the decoded files to the disk");
      writeJournal(InstallJournal::Phase::Renaming);
    } catch (const ZipError& refused) {
      writeRefused_ = refused.what();
      return;
    }
  }
  // Started in archive order, a few at once, and settled in that order. No two staged files
  // share a target or a path (runsThroughPendingFile), so the order in which they land does not
  // change what they leave, and a start after a kill completes whichever are left.
  std::deque<std::pair<const Staged*, std::future<DecodeJob::Failure>>> started;
  size_t done = 0;
  const auto settleOldest = [&] {
    auto [file, installed] = std::move(started.front());
    started.pop_front();
    if (const DecodeJob::Failure failure = installed.get()) {
      skip(file->index, *file->entry, *failure);
    } else {
      ++report_.filesWritten;
    }
    if (options_.progress) options_.progress(ExtractionPhase::Installing, ++done, staged_.size());
  };
  if (options_.progress) options_.progress(ExtractionPhase::Installing, done, staged_.size());
  for (const Staged& file : staged_) {
    if (started.size() >= maxPending) settleOldest();
    try {
      BaseDirectory::Folder folder = base_.folder(file.elements, file.elements.size() - 1);
      started.emplace_back(
          &file, pool_->submit(std::make_unique<InstallJob>(std::move(folder), file.part,
                                                            file.elements.back(), file.stamp)));
    } catch (const std::exception& failure) {
      std::promise<DecodeJob::Failure> failed;
      failed.set_value(std::string(failure.what()));
      started.emplace_back(&file, failed.get_future());
    }
  }
  while (!started.empty()) settleOldest();
  staged_.clear();
  stagedFiles_.clear();
}

// The end of a first phase that cannot be completed: no part file is installed, and each goes.
void Extractor::discardStaged() {
  for (const Staged& file : staged_) {
    if (const auto folder = base_.existingFolder(file.elements, file.elements.size() - 1)) {
      folder->remove(file.part);
    }
    ++report_.filesAbandoned;
  }
  staged_.clear();
  stagedFiles_.clear();
}

void Extractor::skip(size_t index, const ZipEntry& entry, std::string reason) {
  skipped_.push_back({index, SkippedEntry{displayName(entry), std::move(reason)}});
}

// Everything that must happen in order before an entry can be decoded: its name, its path,
// the directories that hold it. Throws ExtractionEnded; any other failure is the entry's own.
Extractor::Pending Extractor::prepare(const ZipEntry& entry, size_t index) {
  Pending item;
  item.entry = &entry;
  item.index = index;
  try {
    if (entry.name.empty()) throw ZipError("the name is not valid text");
    if (!matchesMask(entry.name, options_.mask)) throw ZipError("the mask does not select it");
    auto elements = confinedPath(entry.name);
    if (!elements) throw ZipError("the name leads outside the base directory");
    item.elements = std::move(*elements);
    if (runsThroughPendingFile(item.elements)) {
      // That file must be in place first, as one entry after another would leave it: what is
      // decoded so far is installed as one step, and the journal goes back to decoding.
      finishAll();
      installStaged();
      if (journal_ && !writeRefused_) {
        try {
          writeJournal(InstallJournal::Phase::Decoding);
        } catch (const ZipError& refused) {
          writeRefused_ = refused.what();
        }
      }
    }
    // The directory that holds the target is made outside the entry's own guard: when it
    // cannot be made, nothing after it could be placed where it belongs either.
    if (!item.elements.empty()) item.folder = base_.folder(item.elements, item.elements.size() - 1);
    // A directory entry is made here, in archive order, before any later entry is looked at:
    // made when it is finished, it would come after a later file of its name that a decoding
    // thread had placed meanwhile.
    if (entry.isDirectory()) {
      makeDirectory(item);
    } else {
      prepareFile(item);
    }
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
  item.name = item.elements.back();
  try {
    item.found = item.folder->status(item.name);
  } catch (const std::system_error& error) {
    throw ZipError(error.what());
  }
  item.reader = std::make_unique<EntryReader>(archive_, entry, options_.password);
  // Checked now to spare decoding an entry that cannot be placed, and again, fully, before the
  // rename. Whether another opener holds the file is left to the decoding thread: probing costs
  // opening the file, which only a file that may hold the entry's content already needs.
  BaseDirectory::checkReplaceable(item.found);
  item.memory = decoderMemory(entry);
}

void Extractor::enqueue(Pending item) {
  while (!pending_.empty() &&
         (pending_.size() >= maxPending || pendingMemory_ + item.memory > memoryBudget)) {
    finishOldest();
  }
  if (item.isFile()) {
    try {
      removeLeftoversOnce(item);
      item.sink = std::make_unique<ReplacingSink>(*item.folder, item.name, item.found);
      item.decoded =
          pool_->submit(std::make_unique<FileJob>(*item.entry, *item.reader, *item.sink));
      item.key = platform::fileNameKey(joined(item.elements, item.elements.size()));
      pendingFiles_.insert(item.key);
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
    pendingFiles_.erase(pendingFiles_.find(item.key));
    pendingMemory_ -= item.memory;
  }
  finish(item);
  if (options_.progress) {
    options_.progress(ExtractionPhase::Decoding, item.index + 1, archive_.entries().size());
  }
}

void Extractor::finishAll() {
  while (!pending_.empty()) finishOldest();
}

// The entry's guard: whatever fails here skips this entry alone, but a write the system
// refused ends the run.
void Extractor::finish(Pending& item) {
  try {
    if (item.failure) throw ZipError(*item.failure);
    if (!item.isFile()) {
      ++report_.directoriesWritten;  // made when it was prepared
      return;
    }
    if (const DecodeJob::Failure failure = item.decoded.get()) {
      if (item.sink->writeRefused() && !writeRefused_) writeRefused_ = *failure;
      throw ZipError(*failure);
    }
    if (item.sink->unchanged()) {
      ++report_.filesWritten;
      return;
    }
    if (backgroundFlush_) backgroundFlush_->written(item.entry->uncompressedSize);
    staged_.push_back({.index = item.index,
                       .entry = item.entry,
                       .elements = item.elements,
                       .part = item.sink->part()->name(),
                       .stamp = stampOf(*item.entry)});
    stagedFiles_.insert(item.key);
  } catch (const std::exception& failure) {
    skip(item.index, *item.entry, failure.what());
  } catch (...) {
    skip(item.index, *item.entry, "unknown error");
  }
}

void Extractor::makeDirectory(const Pending& item) {
  // The base directory itself ("./") exists, and its attributes are not the archive's.
  if (item.elements.empty()) return;
  // Its parents exist by now; only the directory itself is left, and failing to make it
  // fails this entry alone.
  BaseDirectory::Folder folder;
  try {
    folder = base_.folder(item.elements, item.elements.size());
  } catch (const ExtractionEnded& failure) {
    throw ZipError(failure.what());
  }
  // A directory's time is not set. Its read-only attribute is not applied either: on Windows
  // it does not stop files being created inside, while the missing write bits would here.
  const ZipEntry& entry = *item.entry;
  const uint32_t attributes =
      attributesFromExternal(entry.externalAttributes, entry.hostSystem) & ~platform::ReadOnly;
  folder->applyAttributes(attributes);
}

// Part files that killed extractions left in a directory go before this extraction adds its own
// there; those that anyone is writing now stay, and so do files that this archive's entries
// are to be written to, however they are named.
void Extractor::removeLeftoversOnce(const Pending& item) {
  const std::string folderKey =
      platform::fileNameKey(joined(item.elements, item.elements.size() - 1));
  if (!cleanedDirectories_.insert(folderKey).second) return;
  PartFile::removeLeftovers(*item.folder, [&](const std::string& name) {
    const std::string key = platform::fileNameKey(name);
    return archiveTargets_.contains(folderKey.empty() ? key : folderKey + "/" + key);
  });
}

// Whether a directory of the path, or the target itself, is where an entry still being decoded
// or staged is to be placed: then that entry must be placed first, as one after another
// would. Names are compared as the system compares them: on Windows "Foo" is where "foo/x"
// goes.
bool Extractor::runsThroughPendingFile(const std::vector<std::string>& elements) const {
  if (pendingFiles_.empty() && stagedFiles_.empty()) return false;
  const std::string key = platform::fileNameKey(joined(elements, elements.size()));
  const auto named = [&](const std::string& path) {
    return pendingFiles_.contains(path) || stagedFiles_.contains(path);
  };
  for (size_t end = key.find('/'); end != std::string::npos; end = key.find('/', end + 1)) {
    if (named(key.substr(0, end))) return true;
  }
  return named(key);
}

}  // namespace zip
