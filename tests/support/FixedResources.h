// A resource library with fixed values, for in-process tests of the window and the worker.
#pragma once

#include "branding/ResourcesUpdateDll.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <atomic>
#include <cstring>

namespace testsupport {

class FixedColourTable final : public branding::ColourTable {
public:
  QMap<QString, uint32_t> colours;
  uint32_t item(const QString& key) const override {
    const auto found = colours.constFind(key);
    if (found == colours.constEnd()) throw branding::ItemNotFoundError();
    return *found;
  }
};

// An image stream over bytes, handed over at a chosen position (the library hands its streams
// over positioned at their end).
class FixedImageStream final : public branding::ImageStream {
public:
  FixedImageStream(QByteArray data, uint64_t position)
      : data_(std::move(data)), position_(position) {}
  uint64_t size() const override { return static_cast<uint64_t>(data_.size()); }
  uint64_t position() const override { return position_; }
  void seek(uint64_t offset) override { position_ = std::min(offset, size()); }
  size_t read(void* buffer, size_t count) override {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size() - position_));
    std::memcpy(buffer, data_.constData() + position_, n);
    position_ += n;
    return n;
  }

private:
  QByteArray data_;
  uint64_t position_;
};

class FixedResources final : public branding::ResourcesUpdateDll {
public:
  QString sistema = QStringLiteral("KUB");
  QString updatePath = QStringLiteral("http://127.0.0.1:1/kub/");
  QString updateName = QStringLiteral("VersionesKUB.txt");
  FixedColourTable colourTable;
  QMap<QString, QByteArray> images;
  QString updateKey;  // none: the product line does not sign
  mutable std::atomic<int> sistemaCalls{0};

  FixedResources() {
    colourTable.colours = {{"Banner", 0xFF1F4E79u},
                           {"BannerGradiente", 0xFF6FA8DCu},
                           {"TextoBlanco", 0xFFFFFFFFu},
                           {"TextoSubtitulos", 0xFF1F4E79u}};
  }

  QString getSistema() const override {
    ++sistemaCalls;
    return sistema;
  }
  QString getUpdatePath() const override { return updatePath; }
  QString getUpdateName() const override { return updateName; }
  const branding::ColourTable& getColores() const override { return colourTable; }
  QString getUpdateKey() const override { return updateKey; }
  std::unique_ptr<branding::ImageStream> getImage(const QString& name) const override {
    const QByteArray data = images.value(name);
    return std::make_unique<FixedImageStream>(data, static_cast<uint64_t>(data.size()));
  }
};

}  // namespace testsupport
