#include "publish/Publisher.h"

#include <ctime>
#include <span>
#include <vector>

#include "platform/FileVersion.h"
#include "platform/Unicode.h"
#include "publish/ArchiveMaking.h"
#include "publish/ArchiveReadBack.h"
#include "publish/FourPartVersion.h"
#include "publish/HistoryFile.h"
#include "publish/PublishError.h"
#include "publish/ReleaseFolder.h"
#include "publish/WholeFile.h"
#include "signature/FormatError.h"
#include "signature/PublicKey.h"
#include "signature/SecretKey.h"
#include "signature/Signer.h"
#include "signature/Verifier.h"
#include "update/ArchiveName.h"
#include "update/ExtractArchive.h"
#include "versioncheck/NewestBlock.h"
#include "versioncheck/VersionHistory.h"
#include "versioncheck/VersionText.h"

namespace publish {
namespace {

namespace fs = std::filesystem;

std::u16string utf16(const std::string& text) {
  return platform::decodeUtf8(text);
}

std::string utf8(std::u16string_view text) {
  return platform::encodeUtf8(text);
}

void checkQuendralVersion(const fs::path& release, const FourPartVersion& version) {
  const fs::path exe = release / "Quendral.exe";
  const auto found = platform::readPeFileVersion(exe);
  if (!found)
    throw PublishError(kRefused, exe.string() + " is missing, or carries no file version");
  const std::string text = platform::formatFileVersion(*found);
  if (text != version.text())
    throw PublishError(kRefused,
                       exe.string() + " carries version " + text + ", not " + version.text());
}

// The block's lines: the header "<code> <version>" and a "- " line for each change.
std::vector<std::u16string> blockLines(const Options& options) {
  std::string changes = readWholeFile(options.changes);
  if (changes.starts_with("\xEF\xBB\xBF")) changes.erase(0, 3);
  if (!platform::isValidUtf8(changes))
    throw PublishError(kRefused, options.changes.string() + " is not UTF-8");
  std::vector<std::u16string> lines{utf16(options.code + " " + options.version)};
  for (const std::u16string& change : versioncheck::splitLines(platform::decodeUtf8(changes)))
    if (!versioncheck::trimControlAndBlanks(change).empty()) lines.push_back(u"- " + change);
  return lines;
}

struct HistoryUpdate {
  std::string bytes;
  bool blockReplaced = false;
};

// The history with the release's block, or a refusal: the version must be newer than the
// newest block's (the block the updater shows), unless told to replace a block of its own.
HistoryUpdate updatedHistory(const Options& options, const FourPartVersion& version) {
  HistoryFile history;
  if (fs::exists(options.history)) history = HistoryFile::fromBytes(readWholeFile(options.history));
  const std::vector<std::u16string> lines = blockLines(options);
  const versioncheck::NewestBlock newest = versioncheck::scanNewestBlock(history.lines());
  if (!newest.headerFound) {
    if (!newest.items.empty())
      throw PublishError(kRefused, options.history.string() + " has change lines but no header");
    history.appendBlock(lines);
    return {history.bytes(), false};
  }
  const std::string newestText = utf8(versioncheck::trimControlAndBlanks(
      versioncheck::newestVersionFromHeader(newest.items.front())));
  const auto newestVersion = parseFourPartVersion(newestText);
  if (!newestVersion)
    throw PublishError(kRefused, "the newest block's version \"" + newestText +
                                     "\" is not four numbers: mend the history first");
  if (version > *newestVersion) {
    history.appendBlock(lines);
    return {history.bytes(), false};
  }
  if (!options.replace)
    throw PublishError(kRefused, version.text() + " is not newer than the newest block, " +
                                     newestText + " (--replace publishes a version again)");
  const std::vector<HistoryBlock> blocks = history.blocks();
  for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
    if (parseFourPartVersion(utf8(block->version)) == version) {
      history.replaceBlock(*block, lines);
      return {history.bytes(), true};
    }
  }
  throw PublishError(kRefused, version.text() + " is older than the newest block, " + newestText +
                                   ", and has no block to replace");
}

// The release's path of the change list, relative to it, when it lies inside (zip's -x).
std::string changesInsideRelease(const Options& options) {
  std::error_code ignored;
  const fs::path release = fs::weakly_canonical(options.from, ignored);
  const fs::path changes = fs::weakly_canonical(options.changes, ignored);
  const fs::path relative = changes.lexically_relative(release);
  if (relative.empty() || relative.native().starts_with("..")) return {};
  return relative.generic_string();
}

}  // namespace

PublishedRelease publishRelease(const Options& options,
                                const std::function<std::string()>& askPassword) {
  const FourPartVersion version = *parseFourPartVersion(options.version);
  if (!fs::is_directory(options.from))
    throw PublishError(kRefused, options.from.string() + " is not a folder");
  const HistoryUpdate history = updatedHistory(options, version);
  checkQuendralVersion(options.from, version);
  const auto releaseFiles =
      publish::releaseFiles(options.from, fs::weakly_canonical(options.changes));

  std::optional<signature::SecretKey> key;
  if (!options.signingKey.empty()) {
    try {
      key.emplace(
          signature::SecretKey::fromFileText(readWholeFile(options.signingKey), askPassword));
    } catch (const signature::FormatError& error) {
      throw PublishError(kRefused, options.signingKey.string() + ": " + error.what());
    }
  }

  const std::string name =
      utf8(update::archiveFileName(utf16(options.code), utf16(options.version)));
  std::error_code error;
  fs::create_directories(options.out, error);
  const fs::path archive = fs::absolute(options.out / name);
  const fs::path temporary = temporaryBeside(archive);
  fs::remove(temporary, error);  // what an interrupted run left
  try {
    makeArchive(options.from, temporary, update::kArchivePassword, changesInsideRelease(options));
    const auto differences = archiveDifferences(temporary, update::kArchivePassword, releaseFiles);
    if (!differences.empty()) {
      std::string text = "the archive does not read back as the release:";
      for (const std::string& difference : differences) text += "\n  " + difference;
      throw PublishError(kRefused, text);
    }
  } catch (...) {
    fs::remove(temporary, error);
    throw;
  }

  std::optional<std::string> signatureText;
  if (key) {
    const signature::FileHash hash = signature::hashFile(temporary);
    const signature::SignatureFile made = signature::signFile(
        *key, hash,
        signature::defaultTrustedComment(name, static_cast<std::int64_t>(std::time(nullptr))));
    if (signature::verifyFile(key->publicKey(), made, hash, name) != signature::Verdict::Verified)
      throw PublishError(kFailed, "the signature just made does not verify");
    signatureText =
        made.text("signature from quendral-publish, key " + signature::keyIdText(key->id()));
  }

  PublishedRelease published{archive, std::nullopt, fs::absolute(options.history),
                             history.blockReplaced};
  fs::rename(temporary, archive, error);
  if (error) {
    fs::remove(temporary, error);
    throw PublishError(kFailed, "cannot rename the archive to " + archive.string());
  }
  const fs::path signaturePath = archive.string() + ".minisig";
  if (signatureText) {
    writeWholeFile(signaturePath, *signatureText);
    published.signature = signaturePath;
  } else {
    // A signature of an earlier archive of this name would refuse this one.
    fs::remove(signaturePath, error);
  }
  if (!published.history.parent_path().empty())
    fs::create_directories(published.history.parent_path(), error);
  writeWholeFile(published.history, history.bytes);
  return published;
}

}  // namespace publish
