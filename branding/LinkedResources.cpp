#include "branding/LinkedResources.h"

#include "platform/LoadedLibrary.h"
#include "resourcelib/ResourcesUpd.h"

#include <algorithm>
#include <vector>

namespace branding {

std::vector<std::string> LinkedResources::missingOperations() {
  return platform::missingOperations(
      kFileName,
      {"getSistema", "getUpdatePath", "getUpdateName", "getColores", "getImage", "resColorLookup",
       "resImageSize", "resImagePosition", "resImageSeek", "resImageRead", "resImageRelease"});
}

namespace {

using TextOperation = size_t (*)(ResChar*, size_t);

QString callText(TextOperation operation) {
  // Ask for the length first; the text may not change between the two calls, but a library
  // that answers differently must not make us read past our buffer.
  std::vector<ResChar> buffer(operation(nullptr, 0));
  const size_t length = std::min(operation(buffer.data(), buffer.size()), buffer.size());
  return QString(reinterpret_cast<const QChar*>(buffer.data()), static_cast<qsizetype>(length));
}

const ResChar* utf16(const QString& text) {
  return reinterpret_cast<const ResChar*>(text.utf16());
}

class LinkedColourTable final : public ColourTable {
public:
  explicit LinkedColourTable(const ResColorTable* table) : table_(table) {}
  uint32_t item(const QString& key) const override {
    uint32_t argb = 0;
    if (resColorLookup(table_, utf16(key), static_cast<size_t>(key.size()), &argb) == 0)
      throw ItemNotFoundError();
    return argb;
  }

private:
  const ResColorTable* table_;
};

class LinkedImageStream final : public ImageStream {
public:
  explicit LinkedImageStream(ResImageStream* stream) : stream_(stream) {}
  ~LinkedImageStream() override { resImageRelease(stream_); }
  LinkedImageStream(const LinkedImageStream&) = delete;
  LinkedImageStream& operator=(const LinkedImageStream&) = delete;
  uint64_t size() const override { return resImageSize(stream_); }
  uint64_t position() const override { return resImagePosition(stream_); }
  void seek(uint64_t offset) override { resImageSeek(stream_, offset); }
  size_t read(void* buffer, size_t count) override { return resImageRead(stream_, buffer, count); }

private:
  ResImageStream* stream_;
};

}  // namespace

LinkedResources::LinkedResources() = default;
LinkedResources::~LinkedResources() = default;

QString LinkedResources::getSistema() const {
  return callText(&::getSistema);
}
QString LinkedResources::getUpdatePath() const {
  return callText(&::getUpdatePath);
}
QString LinkedResources::getUpdateName() const {
  return callText(&::getUpdateName);
}
const ColourTable& LinkedResources::getColores() const {
  // The table stays the library's; we keep a view of it.
  if (!colours_) colours_ = std::make_unique<LinkedColourTable>(::getColores());
  return *colours_;
}

QString LinkedResources::getUpdateKey() const {
  // Declared in ResourcesUpd.h, but never named here: a reference would make it an import that
  // the loader must bind, and a library made before the operation existed could not start.
  const auto operation =
      reinterpret_cast<TextOperation>(platform::findOperation(kLoadedName, "getUpdateKey"));
  return operation != nullptr ? callText(operation) : QString();
}

std::unique_ptr<ImageStream> LinkedResources::getImage(const QString& name) const {
  ResImageStream* stream = ::getImage(utf16(name), static_cast<size_t>(name.size()));
  if (stream == nullptr) throw std::bad_alloc();
  return std::make_unique<LinkedImageStream>(stream);
}

}  // namespace branding
