#include "app/UpdateFrm.h"

#include "app/ErrorReporting.h"
#include "app/WindowAccessibility.h"
#include "branding/CornerButton.h"
#include "branding/EstiloComponentesUpdater.h"
#include "branding/FilledRectangle.h"
#include "branding/GradientText.h"
#include "branding/ImageControl.h"
#include "branding/ImageLoading.h"
#include "net/BodySink.h"
#include "net/HttpClient.h"
#include "platform/FileVersion.h"
#include "signature/FormatError.h"
#include "signature/PublicKey.h"
#include "ui_UpdateFrm.h"
#include "update/ExtractArchive.h"
#include "versioncheck/NewestBlock.h"
#include "versioncheck/VersionCheckError.h"
#include "versioncheck/VersionHistoryFetch.h"
#include "versioncheck/VersionText.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTabWidget>
#include <algorithm>

namespace app {
namespace {

// The check blocks the window while it runs, so its client must not wait for ever: neither
// on one wait, nor in all, for a server that trickles a byte at a time.
constexpr std::chrono::milliseconds kCheckReadTimeout{30000};
constexpr std::chrono::milliseconds kCheckConnectTimeout{30000};
constexpr std::chrono::milliseconds kCheckTotalTimeout{60000};

std::unique_ptr<net::HttpClient> makeCheckClient() {
  auto client = std::make_unique<net::HttpClient>();
  client->setReadTimeout(kCheckReadTimeout);
  client->setConnectTimeout(kCheckConnectTimeout);
  client->setTotalTimeout(kCheckTotalTimeout);
  return client;  // no redirects, no authorization: a redirect status fails the check
}

// Text sizes in the layout are pixels, like every position and size there; a .ui font knows
// only points, so the layout names the size in the dynamic property "fontPixelSize".
void applyDesignedPixelSizes(QWidget& form) {
  for (QWidget* widget : form.findChildren<QWidget*>()) {
    const QVariant size = widget->property("fontPixelSize");
    if (!size.isValid()) continue;
    QFont font = widget->font();
    font.setPixelSize(size.toInt());
    widget->setFont(font);
  }
}

void setTextColour(QLabel* label, uint32_t argb) {
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, QColor::fromRgba(argb));
  label->setPalette(colours);
}

// The product line's update key, none when it does not sign. A key that is not a minisign
// public key is a fault of the product line's build, fatal to the start as the library's
// other faults are: an update must never go on unchecked because the key could not be read.
std::optional<signature::PublicKey> updateKeyOf(const branding::ResourcesUpdateDll& resources) {
  const QString line = resources.getUpdateKey();
  if (line.isEmpty()) return std::nullopt;
  try {
    return signature::PublicKey::fromLine(line.toStdString());
  } catch (const signature::FormatError& error) {
    throw signature::FormatError(
        "The resource library's update key is not a minisign public key (" +
        std::string(error.what()) + ")");
  }
}

}  // namespace

TUpdateFrm::TUpdateFrm(const branding::ResourcesUpdateDll& resources,
                       std::filesystem::path updaterDirectory, QWidget* parent)
    : QWidget(parent),
      IdHTTP1(makeCheckClient()),
      ui_(std::make_unique<Ui::TUpdateFrm>()),
      resources_(resources),
      updaterDirectory_(std::move(updaterDirectory)),
      updateDirectory_(updaterDirectory_ / "Update") {
  announceMainWindowAsWindow();  // before the layout names the window, which asks for it
  ui_->setupUi(this);
  applyDesignedPixelSizes(*this);
  workerSettings.systemCode = [&resources] { return resources.getSistema(); };
  workerSettings.updaterDirectory = updaterDirectory_;
  workerSettings.updateDirectory = updateDirectory_;
  Banner = ui_->Banner;
  Image5 = ui_->Image5;
  Logo = ui_->Logo;
  Text5 = ui_->Text5;
  TabControl1 = ui_->TabControl1;
  TabItem1 = ui_->TabItem1;
  Fondo1 = ui_->Fondo1;
  Text1 = ui_->Text1;
  CornerButton16 = ui_->CornerButton16;
  Image7 = ui_->Image7;
  Text4 = ui_->Text4;
  Text9 = ui_->Text9;
  CornerButton1 = ui_->CornerButton1;
  Text2 = ui_->Text2;
  Text3 = ui_->Text3;
  Text6 = ui_->Text6;
  Text7 = ui_->Text7;
  ListBox1 = ui_->ListBox1;
  Text8 = ui_->Text8;
  Text10 = ui_->Text10;
  ProgressBar1 = ui_->ProgressBar1;
  Text11 = ui_->Text11;
  CornerButton2 = ui_->CornerButton2;

  // The banner's designed fill is stored in the layout as text.
  Banner->setGradient(branding::parseGradient(Banner->property("designedGradient").toString()));

  connect(CornerButton1, &QPushButton::clicked, this,
          guarded(this, &TUpdateFrm::CornerButton1Click));
  connect(CornerButton16, &QPushButton::clicked, this,
          guarded(this, &TUpdateFrm::CornerButton16Click));
  connect(CornerButton2, &QPushButton::clicked, this,
          guarded(this, &TUpdateFrm::CornerButton2Click));
}

TUpdateFrm::~TUpdateFrm() = default;

void TUpdateFrm::setStyleCatalogue(const branding::TEstiloComponentesUpdaterFrm* catalogue) {
  catalogue_ = catalogue;
}

void TUpdateFrm::FormShow() {
  updatePath = resources_.getUpdatePath();
  updateName = resources_.getUpdateName();
  nombreSistema = resources_.getSistema();
  listaColores = &resources_.getColores();
  workerSettings.updateKey = updateKeyOf(resources_);
  applyBranding();
  // An update that a kill interrupted is completed (or cleared) before the installed version
  // is read, so that the window shows one version, whole.
  update::completeInterruptedInstall(updateDirectory_, updaterDirectory_);
  Text3->setText(getInstalledVersion());
  CornerButton16->setEnabled(false);
  Text11->clear();
  ProgressBar1->setValue(0);
}

// The looks of the product line, step by step; an error stops here and what was set stays.
void TUpdateFrm::applyBranding() {
  loadImage(QStringLiteral("LogoBanner"), Logo);
  loadImage(QStringLiteral("bandera"), Image7);
  if (catalogue_ != nullptr) Fondo1->setGradient(catalogue_->getRectangleGradient());
  if (nombreSistema == QLatin1String("KUB")) {
    Banner->setGradientFill();
    Banner->editGradient().setSecondColour(listaColores->item(QStringLiteral("BannerGradiente")));
    Banner->editGradient().setFirstColour(listaColores->item(QStringLiteral("Banner")));
    Banner->update();
  }
  if (nombreSistema == QLatin1String("ZIR"))
    Banner->setSolidFill(listaColores->item(QStringLiteral("Banner")));
  for (branding::CornerButton* button : {CornerButton1, CornerButton2, CornerButton16}) {
    button->setTextColour(listaColores->item(QStringLiteral("TextoBlanco")));
    button->setStyleLookup(catalogue_ != nullptr ? catalogue_->getButtonStyle() : QString());
  }
  setTextColour(Text5, listaColores->item(QStringLiteral("TextoBlanco")));
  setTextColour(Text4, listaColores->item(QStringLiteral("TextoSubtitulos")));
}

void TUpdateFrm::loadImage(const QString& name, branding::ImageControl* image) {
  std::unique_ptr<branding::ImageStream> stream = resources_.getImage(name);
  if (image != nullptr) image->setPicture(branding::decodeImageStream(*stream));
}

QString TUpdateFrm::getInstalledVersion() const {
  const auto version = platform::readFixedFileVersion(updaterDirectory_ / "Quendral.exe");
  return version ? QString::fromStdString(platform::formatFileVersion(*version)) : QString();
}

// "Buscar Actualización": fetch the version history, show its newest block and version, and
// offer "Actualizar" when that version differs from the installed one. Runs on the UI thread.
void TUpdateFrm::CornerButton1Click() {
  Text8->hide();
  const std::vector<std::u16string> lines = versioncheck::fetchVersionHistoryLines(
      updateDirectory_, updatePath.toStdU16String(), updateName.toStdU16String(),
      [this](const std::string& url) {
        net::MemorySink body(versioncheck::kMaxVersionHistoryBytes);
        IdHTTP1->get(url, body);
        return body.take();
      });

  ListBox1->clear();
  const versioncheck::NewestBlock block = versioncheck::scanNewestBlock(lines);
  for (const std::u16string& item : block.items) ListBox1->addItem(QString::fromStdU16String(item));
  if (!block.headerFound) throw versioncheck::NoHeaderLineError();

  Text7->setText(
      QString::fromStdU16String(versioncheck::newestVersionFromHeader(block.items.front())));
  CornerButton16->setEnabled(
      versioncheck::updateOffered(Text7->text().toStdU16String(), Text3->text().toStdU16String()));
  Text11->clear();
  ProgressBar1->setValue(0);
}

// "Actualizar": show the progress group and start a worker that installs the version in Text7.
// Nothing waits for the worker; it releases itself when it ends.
void TUpdateFrm::CornerButton16Click() {
  Text8->show();
  CornerButton16->setEnabled(false);
  Text11->setText(QString());
  ProgressBar1->setValue(0);
  const QString version = QString::fromStdU16String(
      std::u16string(versioncheck::trimControlAndBlanks(Text7->text().toStdU16String())));
  UpdateHilo = new update::TUpdateHilo(ProgressBar1, Text11, version, updatePath, workerSettings);
  connect(UpdateHilo, &QThread::finished, UpdateHilo, &QObject::deleteLater);
  std::erase_if(workers_, [](const auto& worker) { return worker.isNull(); });
  workers_.emplace_back(UpdateHilo);
  UpdateHilo->start();
}

bool TUpdateFrm::workersRunning() const {
  return std::any_of(workers_.begin(), workers_.end(),
                     [](const auto& worker) { return worker && worker->isRunning(); });
}

void TUpdateFrm::CornerButton2Click() {
  close();
}

}  // namespace app
