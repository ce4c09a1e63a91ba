// The resource library as the updater sees it: five operations, behind one small class so that
// in-process tests can substitute fixed values for the library the program is linked against.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace branding {

// A colour table lookup of a key the table lacks.
class ItemNotFoundError : public std::runtime_error {
public:
  ItemNotFoundError() : std::runtime_error("Item not found") {}
};

// Key -> ARGB colour. Owned by the library for the life of the process.
class ColourTable {
public:
  virtual ~ColourTable() = default;
  // Throws ItemNotFoundError for a key the table lacks.
  virtual uint32_t item(const QString& key) const = 0;
};

// A readable, seekable stream holding one image, handed over to the caller.
class ImageStream {
public:
  virtual ~ImageStream() = default;
  virtual uint64_t size() const = 0;
  virtual uint64_t position() const = 0;
  virtual void seek(uint64_t offset) = 0;
  virtual size_t read(void* buffer, size_t count) = 0;
};

class ResourcesUpdateDll {
public:
  virtual ~ResourcesUpdateDll() = default;
  virtual QString getSistema() const = 0;
  virtual QString getUpdatePath() const = 0;
  virtual QString getUpdateName() const = 0;
  virtual const ColourTable& getColores() const = 0;
  virtual std::unique_ptr<ImageStream> getImage(const QString& name) const = 0;
  // The optional sixth operation: the key line of the minisign public key that the product
  // line's releases are signed with, or an empty text when they are not signed (also from a
  // library that lacks the operation).
  virtual QString getUpdateKey() const { return {}; }
};

}  // namespace branding
