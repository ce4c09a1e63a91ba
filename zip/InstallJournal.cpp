#include "zip/InstallJournal.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "zip/Crc32.h"

namespace zip {
namespace {

constexpr std::string_view header = "quendral-install-journal 1";
constexpr std::string_view checksumPrefix = "crc32 ";

bool writtenAsIs(unsigned char byte) {
  return byte > 0x20 && byte < 0x7f && byte != '%';
}

std::string escaped(std::string_view name) {
  std::string text;
  text.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (writtenAsIs(byte)) {
      text += c;
    } else {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02x", byte);
      text += code;
    }
  }
  return text;
}

std::optional<uint32_t> hexNumber(std::string_view text) {
  uint32_t value = 0;
  if (text.empty() || text.size() > 8) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::string> unescaped(std::string_view text) {
  std::string name;
  for (size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '%') {
      if (at + 2 >= text.size()) return std::nullopt;
      const auto value = hexNumber(text.substr(at + 1, 2));
      if (!value) return std::nullopt;
      name += static_cast<char>(*value);
      at += 2;
    } else if (writtenAsIs(byte)) {
      name += static_cast<char>(byte);
    } else {
      return std::nullopt;
    }
  }
  if (name.empty()) return std::nullopt;
  return name;
}

// The words of a line, split at single spaces.
std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t space = line.find(' ', start);
    parts.push_back(line.substr(start, space - start));
    if (space == std::string_view::npos) return parts;
    start = space + 1;
  }
}

std::optional<InstallJournal::File> fileRecord(std::string_view line) {
  const auto parts = words(line);
  if (parts.size() != 5 || parts[0] != "file") return std::nullopt;
  InstallJournal::File file;
  const auto target = unescaped(parts[1]);
  const auto part = parts[2] == "-" ? std::optional<std::string>("") : unescaped(parts[2]);
  const auto attributes = hexNumber(parts[3]);
  const auto executeBits = hexNumber(parts[4]);
  if (!target || !part || !attributes || !executeBits) return std::nullopt;
  return InstallJournal::File{.target = *target,
                              .part = *part,
                              .attributes = *attributes,
                              .executeBitsIfNew = *executeBits};
}

std::string hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return text;
}

}  // namespace

std::string formatJournal(const InstallJournal& journal) {
  std::string text(header);
  text += '\n';
  text +=
      journal.phase == InstallJournal::Phase::Renaming ? "phase renaming\n" : "phase decoding\n";
  for (const InstallJournal::File& file : journal.files) {
    text += "file " + escaped(file.target) + ' ' +
            (file.part.empty() ? std::string("-") : escaped(file.part)) + ' ' +
            hex8(file.attributes) + ' ' + hex8(file.executeBitsIfNew) + '\n';
  }
  text += std::string(checksumPrefix) + hex8(crc32(0, text.data(), text.size())) + '\n';
  return text;
}

ParsedJournal parseJournal(std::string_view text) {
  ParsedJournal parsed;
  parsed.damaged = true;
  size_t at = 0;
  // The next whole line (ended by a line break), or nothing.
  const auto nextLine = [&]() -> std::optional<std::string_view> {
    const size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    return line;
  };
  if (nextLine() != header) return parsed;
  const auto phase = nextLine();
  if (phase == "phase renaming") {
    parsed.journal.phase = InstallJournal::Phase::Renaming;
  } else if (phase != "phase decoding") {
    return parsed;
  }
  for (;;) {
    const size_t lineStart = at;
    const auto line = nextLine();
    if (!line) return parsed;
    if (line->starts_with(checksumPrefix)) {
      const auto checksum = hexNumber(line->substr(checksumPrefix.size()));
      parsed.damaged = line->size() != checksumPrefix.size() + 8 || !checksum ||
                       *checksum != crc32(0, text.data(), lineStart) || at != text.size();
      return parsed;
    }
    auto file = fileRecord(*line);
    if (!file) return parsed;
    parsed.journal.files.push_back(std::move(*file));
  }
}

}  // namespace zip
