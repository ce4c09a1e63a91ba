// The style catalogue: a hidden form whose sample rectangles carry the background gradients of
// the product lines and whose sample buttons carry the names of their button styles, held in
// its style book. It is created at start-up and never shown.
#pragma once

#include "branding/Gradient.h"
#include "branding/ResourcesUpdateDll.h"
#include "branding/StyleBook.h"

#include <QWidget>
#include <memory>

namespace Ui {
class TEstiloComponentesUpdaterFrm;
}

namespace branding {

class FilledRectangle;
class CornerButton;

class TEstiloComponentesUpdaterFrm : public QWidget {
  Q_OBJECT

public:
  // Asks the resource library for the system code on every call, never caching it.
  explicit TEstiloComponentesUpdaterFrm(const ResourcesUpdateDll& resources,
                                        QWidget* parent = nullptr);
  ~TEstiloComponentesUpdaterFrm() override;

  // The catalogue's own gradient for the system code; the caller copies it.
  const Gradient& getRectangleGradient() const;
  // The style name for the system code, empty for a code without designed buttons.
  QString getButtonStyle() const;

  StyleBook* StyleBook1;
  FilledRectangle* RectangleKub;
  FilledRectangle* RectangleZir;
  FilledRectangle* RectanglePex;
  CornerButton* CornerButtonKub;
  CornerButton* CornerButtonZIR;
  CornerButton* CornerButtonPex;

private:
  void loadDesign();
  void FormCreate();

  std::unique_ptr<Ui::TEstiloComponentesUpdaterFrm> ui_;
  const ResourcesUpdateDll& resources_;
};

}  // namespace branding
