#include "branding/EstiloComponentesUpdater.h"

#include "branding/CornerButton.h"
#include "branding/FilledRectangle.h"
#include "branding/GradientText.h"
#include "ui_EstiloComponentesUpdaterFrm.h"

namespace branding {

TEstiloComponentesUpdaterFrm::TEstiloComponentesUpdaterFrm(const ResourcesUpdateDll& resources,
                                                           QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::TEstiloComponentesUpdaterFrm>()),
      resources_(resources) {
  ui_->setupUi(this);
  StyleBook1 = new StyleBook(this);
  StyleBook1->setObjectName("StyleBook1");
  RectangleKub = ui_->RectangleKub;
  RectangleZir = ui_->RectangleZir;
  RectanglePex = ui_->RectanglePex;
  CornerButtonKub = ui_->CornerButtonKub;
  CornerButtonZIR = ui_->CornerButtonZIR;
  CornerButtonPex = ui_->CornerButtonPex;
  loadDesign();
  FormCreate();
}

TEstiloComponentesUpdaterFrm::~TEstiloComponentesUpdaterFrm() = default;

// The layout stores the designed gradients and styles as text; turn them into fills and styles.
void TEstiloComponentesUpdaterFrm::loadDesign() {
  for (const QString& style : property("styleBook").toStringList())
    StyleBook1->add(parseButtonStyle(style));
  for (FilledRectangle* rectangle : {RectangleZir, RectanglePex}) {
    const QVariant designed = rectangle->property("designedGradient");
    if (designed.isValid()) rectangle->setGradient(parseGradient(designed.toString()));
  }
  for (CornerButton* button : {CornerButtonKub, CornerButtonZIR, CornerButtonPex})
    button->setStyleLookup(button->property("styleLookup").toString());
}

void TEstiloComponentesUpdaterFrm::FormCreate() {
  RectangleKub->setGradientFill();
  RectangleKub->editGradient().setSecondColour(0xFFA0A0A0u);
  RectangleKub->editGradient().setFirstColour(0xFFE8ECEDu);
}

const Gradient& TEstiloComponentesUpdaterFrm::getRectangleGradient() const {
  const QString code = resources_.getSistema();
  if (code == "KUB") return RectangleKub->gradient();
  if (code == "ZIR") return RectangleZir->gradient();
  return RectanglePex->gradient();
}

QString TEstiloComponentesUpdaterFrm::getButtonStyle() const {
  const QString code = resources_.getSistema();
  if (code == "PEX") return CornerButtonPex->styleLookup();
  if (code == "KUB") return CornerButtonKub->styleLookup();
  if (code == "ZIR") return CornerButtonZIR->styleLookup();
  return {};
}

}  // namespace branding
