// The main window: the installed version, the version check, the update, and "Salir".
#pragma once

#include "branding/ResourcesUpdateDll.h"
#include "update/UpdateHilo.h"

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QTabWidget;

namespace net {
class HttpClient;
}

namespace Ui {
class TUpdateFrm;
}

namespace branding {
class CornerButton;
class FilledRectangle;
class ImageControl;
class TEstiloComponentesUpdaterFrm;
}  // namespace branding

namespace app {

class TUpdateFrm : public QWidget {
  Q_OBJECT

public:
  // resources: the product line's resource library; updaterDirectory: where the updater and
  // Quendral.exe live (never the working directory).
  TUpdateFrm(const branding::ResourcesUpdateDll& resources, std::filesystem::path updaterDirectory,
             QWidget* parent = nullptr);
  ~TUpdateFrm() override;

  // The style catalogue is created after this window and before it is shown.
  void setStyleCatalogue(const branding::TEstiloComponentesUpdaterFrm* catalogue);

  // Runs once, before the window is first shown. Errors leave it: they are fatal to start-up.
  void FormShow();

  void CornerButton1Click();
  void CornerButton16Click();
  void CornerButton2Click();

  // The controls, by their layout names.
  branding::FilledRectangle* Banner;
  branding::ImageControl* Image5;
  branding::ImageControl* Logo;
  QLabel* Text5;
  QTabWidget* TabControl1;
  QWidget* TabItem1;
  branding::FilledRectangle* Fondo1;
  QWidget* Text1;
  branding::CornerButton* CornerButton16;
  branding::ImageControl* Image7;
  QLabel* Text4;
  QLabel* Text9;
  branding::CornerButton* CornerButton1;
  QLabel* Text2;
  QLabel* Text3;
  QLabel* Text6;
  QLabel* Text7;
  QListWidget* ListBox1;
  QWidget* Text8;
  QLabel* Text10;
  QProgressBar* ProgressBar1;
  QLabel* Text11;
  branding::CornerButton* CornerButton2;
  // The window's own HTTP client, used by the version check; keeps its cookies for the window's
  // life.
  std::unique_ptr<net::HttpClient> IdHTTP1;

  // The worker most recently started by "Actualizar"; it releases itself when it ends.
  QPointer<update::TUpdateHilo> UpdateHilo;
  // Whether a worker this window started is still running (a second "Actualizar" may start
  // another beside the first). True from its start() on.
  bool workersRunning() const;
  // What each worker is given besides the window's controls (tests shorten its pauses).
  update::TUpdateHilo::Settings workerSettings;

  QString updatePath;
  QString updateName;
  QString nombreSistema;
  const branding::ColourTable* listaColores = nullptr;

private:
  QString getInstalledVersion() const;
  void loadImage(const QString& name, branding::ImageControl* image);
  void applyBranding();

  std::unique_ptr<Ui::TUpdateFrm> ui_;
  std::vector<QPointer<update::TUpdateHilo>> workers_;  // null once a worker has released itself
  const branding::ResourcesUpdateDll& resources_;
  const branding::TEstiloComponentesUpdaterFrm* catalogue_ = nullptr;
  std::filesystem::path updaterDirectory_;
  // updaterDirectory_ / "Update": the downloads and the version history's copy, for the check
  // and for every worker.
  std::filesystem::path updateDirectory_;
};

}  // namespace app
