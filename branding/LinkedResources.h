// The resource library the program is linked against at load time (Lib/ beside the executable).
#pragma once

#include "branding/ResourcesUpdateDll.h"

namespace branding {

class LinkedResources final : public ResourcesUpdateDll {
public:
  LinkedResources();
  ~LinkedResources() override;
  QString getSistema() const override;
  QString getUpdatePath() const override;
  QString getUpdateName() const override;
  const ColourTable& getColores() const override;
  std::unique_ptr<ImageStream> getImage(const QString& name) const override;

private:
  mutable std::unique_ptr<ColourTable> colours_;
};

}  // namespace branding
