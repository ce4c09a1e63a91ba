// The version history file as the publishing command edits it: its lines as the updater reads
// them, its encoding and its line break, so that it is written back in its own form with only
// the one block changed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace publish {

enum class HistoryEncoding { Utf8WithBom, Utf16LittleEndian, Utf16BigEndian, AnsiCodePage };

// One version's block: its header line and the change lines after it (the empty lines after
// them are not the block's).
struct HistoryBlock {
  size_t header = 0;       // index of the header line
  size_t end = 0;          // one past its last change line
  std::u16string version;  // the header's version text, without blanks around it
};

class HistoryFile {
public:
  // A new file: UTF-8 with a byte order mark, CR LF line breaks.
  HistoryFile() = default;
  // Reads the file's bytes as the updater does (versioncheck/VersionHistory.h). Throws
  // PublishError (refused) for a file that would not be written back byte for byte from its
  // lines: ill-formed text, a NUL, line breaks of more than one kind.
  static HistoryFile fromBytes(std::string_view bytes);

  // The file's bytes: its byte order mark, its lines joined by its line break, and a break after
  // the last line when the file had one (a new file has). Throws PublishError (refused) for a
  // character that the file's code page cannot hold.
  std::string bytes() const;

  const std::vector<std::u16string>& lines() const { return lines_; }
  // The blocks in file order: a change line holds "-", any other line that is not empty is a
  // header line (the updater's rule).
  std::vector<HistoryBlock> blocks() const;

  // Puts lines in the place of block's header and change lines.
  void replaceBlock(const HistoryBlock& block, const std::vector<std::u16string>& lines);
  // Adds lines after the last line, then an empty line (the blocks' separator); an empty line
  // goes before them too when the file's last line is not empty.
  void appendBlock(const std::vector<std::u16string>& lines);

  HistoryEncoding encoding() const { return encoding_; }
  const std::u16string& lineBreak() const { return lineBreak_; }

private:
  std::vector<std::u16string> lines_;
  HistoryEncoding encoding_ = HistoryEncoding::Utf8WithBom;
  std::u16string lineBreak_ = u"\r\n";
  bool breakAtEnd_ = true;
};

}  // namespace publish
