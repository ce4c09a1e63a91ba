// The resource library the program is linked against at load time (Lib/ beside the executable).
#pragma once

#include "branding/ResourcesUpdateDll.h"

#include <string>
#include <vector>

namespace branding {

class LinkedResources final : public ResourcesUpdateDll {
public:
  LinkedResources();
  // The library's file name as the program imports it (Windows).
  static constexpr const char* kFileName = "ResourcesUpd.dll";
  // The name the loader has the library under, to ask it for an optional operation.
#if defined(_WIN32)
  static constexpr const char* kLoadedName = kFileName;
#else
  static constexpr const char* kLoadedName = "libResourcesUpd.so";
#endif
  // The operations of resourcelib/ResourcesUpd.h that the bound library lacks: empty wherever
  // the loader refuses such a library itself (platform/LoadedLibrary.h).
  static std::vector<std::string> missingOperations();
  ~LinkedResources() override;
  QString getSistema() const override;
  QString getUpdatePath() const override;
  QString getUpdateName() const override;
  const ColourTable& getColores() const override;
  std::unique_ptr<ImageStream> getImage(const QString& name) const override;
  // Looked up in the loaded library at each call, not bound by the loader.
  QString getUpdateKey() const override;

private:
  mutable std::unique_ptr<ColourTable> colours_;
};

}  // namespace branding
