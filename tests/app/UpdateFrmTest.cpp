#include "app/ErrorReporting.h"
#include "app/UpdateFrm.h"
#include "branding/CornerButton.h"
#include "branding/EstiloComponentesUpdater.h"
#include "branding/FilledRectangle.h"
#include "branding/ImageControl.h"
#include "tests/support/DesignedStops.h"
#include "tests/support/FixedResources.h"
#include "tests/support/PeFixture.h"
#include "update/ExtractArchive.h"
#include "zip/JournalFile.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace app {
namespace {

struct Window {
  explicit Window(const std::filesystem::path& directory = "/nonexistent/updater/")
      : frm(resources, directory), catalogue(resources) {
    frm.setStyleCatalogue(&catalogue);
  }
  testsupport::FixedResources resources;
  TUpdateFrm frm;
  branding::TEstiloComponentesUpdaterFrm catalogue;
};

struct ControlCase {
  const char* name;
  const char* kind;
  const char* parent;
  QRect geometry;  // empty: laid out by its parent
  const char* text;
};

TEST(UpdateFrm, HasEveryControlOfTheLayout) {
  Window window;
  const ControlCase controls[] = {
      {"Banner", "branding::FilledRectangle", "TUpdateFrm", {}, nullptr},
      {"Image5", "branding::ImageControl", "Banner", {208, 8, 41, 41}, nullptr},
      {"Logo", "branding::ImageControl", "Banner", {32, 8, 177, 42}, nullptr},
      {"Text5", "QLabel", "Banner", {248, 8, 225, 41}, "Configuración"},
      {"TabControl1", "QTabWidget", "TUpdateFrm", {}, nullptr},
      {"Fondo1", "branding::FilledRectangle", "TabItem1", {}, nullptr},
      {"Text1", "QWidget", "Fondo1", {}, nullptr},
      {"Image7", "branding::ImageControl", "Text1", {24, 32, 25, 25}, nullptr},
      {"Text9", "QLabel", "Text1", {56, 32, 281, 25}, "Bienvenido"},
      {"Text4",
       "QLabel",
       "Text1",
       {24, 65, 449, 40},
       "Bienvenido al actualizador de su sistema de facturación, aquí encontrará la última "
       "actualización "
       "disponible."},
      {"CornerButton1",
       "branding::CornerButton",
       "Text1",
       {24, 112, 137, 25},
       "Buscar Actualización"},
      {"Text2", "QLabel", "Text1", {24, 144, 185, 17}, "Versión Actual del Sistema:"},
      {"Text3", "QLabel", "Text1", {208, 144, 265, 17}, ""},
      {"Text6", "QLabel", "Text1", {24, 168, 185, 17}, "Última Versión del Sistema:"},
      {"Text7", "QLabel", "Text1", {208, 168, 185, 17}, ""},
      {"CornerButton16", "branding::CornerButton", "Text1", {400, 168, 79, 25}, "Actualizar"},
      {"ListBox1", "QListWidget", "Text1", {24, 192, 457, 105}, nullptr},
      {"Text8", "QWidget", "Text1", {24, 304, 457, 65}, nullptr},
      {"Text10", "QLabel", "Text8", {0, 0, 97, 17}, "Progreso"},
      {"Text11", "QLabel", "Text8", {32, 24, 393, 17}, ""},
      {"ProgressBar1", "QProgressBar", "Text8", {32, 40, 393, 20}, nullptr},
      {"CornerButton2", "branding::CornerButton", "Text1", {400, 376, 81, 25}, "Salir"},
  };
  for (const ControlCase& c : controls) {
    SCOPED_TRACE(c.name);
    auto* widget = window.frm.findChild<QWidget*>(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), c.kind);
    EXPECT_EQ(widget->parentWidget()->objectName(), c.parent);
    if (!c.geometry.isEmpty()) {
      EXPECT_EQ(widget->geometry(), c.geometry);
    }
    if (c.text != nullptr) {  // labels and buttons
      const QString text = qobject_cast<QLabel*>(widget)
                               ? qobject_cast<QLabel*>(widget)->text()
                               : qobject_cast<QPushButton*>(widget)->text();
      EXPECT_EQ(text, QString::fromUtf8(c.text));
    }
  }
  EXPECT_FALSE(window.frm.Text8->isVisibleTo(&window.frm));
  EXPECT_EQ(window.frm.ProgressBar1->minimum(), 0);
  EXPECT_EQ(window.frm.ProgressBar1->maximum(), 100);
  // Sizes are pixels, like every position in the layout.
  EXPECT_EQ(window.frm.Text5->font().pixelSize(), 18);
  EXPECT_TRUE(window.frm.Text5->font().bold());
  EXPECT_EQ(window.frm.Text9->font().pixelSize(), 17);
  EXPECT_TRUE(window.frm.Text9->font().bold());
  EXPECT_TRUE(window.frm.CornerButton1->font().bold());
  EXPECT_FALSE(window.frm.Text3->font().bold());
  EXPECT_TRUE(window.frm.windowTitle().isEmpty());
}

// Assistive technology sees a window, not a nameless filler; the controls are named by their
// texts.
TEST(UpdateFrm, IsAnnouncedAsAWindowWithNamedControls) {
  Window window;
  window.frm.FormShow();
  QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window.frm);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->role(), QAccessible::Window);
  EXPECT_FALSE(frame->text(QAccessible::Name).isEmpty());
  QAccessibleInterface* button = QAccessible::queryAccessibleInterface(window.frm.CornerButton1);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->role(), QAccessible::Button);
  EXPECT_EQ(button->text(QAccessible::Name), QString::fromUtf8("Buscar Actualización"));
}

TEST(UpdateFrm, ContentColumnStaysCentredAndBannerSpansTheWidth) {
  Window window;
  for (const QSize size : {QSize(640, 480), QSize(1000, 700), QSize(520, 480)}) {
    SCOPED_TRACE(size.width());
    window.frm.resize(size);
    window.frm.show();
    QCoreApplication::processEvents();  // let the layouts run
    EXPECT_EQ(window.frm.Banner->geometry(), QRect(0, 0, size.width(), 57));
    const QRect column = window.frm.Text1->geometry();
    EXPECT_EQ(column.width(), 497);
    EXPECT_LE(std::abs(column.center().x() - window.frm.Fondo1->width() / 2), 1);
    EXPECT_EQ(column.height(), window.frm.Fondo1->height());
    EXPECT_EQ(window.frm.CornerButton2->geometry().topLeft(), QPoint(400, 376));
  }
}

TEST(UpdateFrm, FocusMovesInTabOrder) {
  Window window;
  window.frm.show();
  QApplication::setActiveWindow(&window.frm);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window.frm));
  window.frm.CornerButton16->setEnabled(true);
  window.frm.CornerButton1->setFocus();
  QStringList order;
  for (int i = 0; i < 4; ++i) {
    order << QApplication::focusWidget()->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(order, QStringList({"CornerButton1", "CornerButton2", "CornerButton16", "ListBox1"}));
}

TEST(UpdateFrm, FormShowReadsTheLibraryAndLeavesTheStartState) {
  Window window;
  window.resources.updatePath = "http://127.0.0.1:9/zir/";
  window.resources.updateName = "VersionesZIR.txt";
  window.resources.sistema = "ZIR";
  window.frm.CornerButton16->setEnabled(true);
  window.frm.Text11->setText("50 %");
  window.frm.ProgressBar1->setValue(50);

  window.frm.FormShow();

  EXPECT_EQ(window.frm.updatePath, "http://127.0.0.1:9/zir/");
  EXPECT_EQ(window.frm.updateName, "VersionesZIR.txt");
  EXPECT_EQ(window.frm.nombreSistema, "ZIR");
  EXPECT_EQ(window.frm.listaColores, &window.resources.colourTable);
  EXPECT_EQ(window.frm.Text3->text(), "") << "no Quendral.exe beside the updater";
  EXPECT_FALSE(window.frm.CornerButton16->isEnabled());
  EXPECT_TRUE(window.frm.CornerButton1->isEnabled());
  EXPECT_TRUE(window.frm.Text11->text().isEmpty());
  EXPECT_EQ(window.frm.ProgressBar1->value(), 0);
  EXPECT_EQ(window.frm.Banner->fillKind(), branding::FilledRectangle::Fill::Solid);
  EXPECT_EQ(window.frm.CornerButton1->styleLookup(), "CornerButtonZIRStyle1");
}

TEST(UpdateFrm, ShowsTheFileVersionOfQuendralBesideTheUpdaterOnly) {
  QTemporaryDir updaterDir, workingDir;
  const std::filesystem::path updater = updaterDir.path().toStdString();
  const std::filesystem::path working = workingDir.path().toStdString();
  testsupport::PeOptions pe;
  pe.fileVersion = {2, 4, 1, 7};
  pe.productVersion = {9, 9, 9, 9};
  testsupport::writeFileBytes(updater / "Quendral.exe", testsupport::buildPeFixture(pe).bytes);
  pe.fileVersion = {3, 0, 0, 0};
  testsupport::writeFileBytes(working / "Quendral.exe", testsupport::buildPeFixture(pe).bytes);

  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(working);
  Window beside(updater / "");
  beside.frm.FormShow();
  Window elsewhere(working / "missing" / "");
  elsewhere.frm.FormShow();
  std::filesystem::current_path(previous);

  EXPECT_EQ(beside.frm.Text3->text(), "2.4.1.7");
  EXPECT_EQ(elsewhere.frm.Text3->text(), "")
      << "a Quendral.exe in the working directory is not ours";
}

// A kill in the middle of an update's renames left the new program beside its journal: the
// first show completes the install before it reads the version.
TEST(UpdateFrm, FormShowCompletesAnInterruptedUpdateBeforeReadingTheVersion) {
  QTemporaryDir updaterDir;
  const std::filesystem::path updater = updaterDir.path().toStdString();
  testsupport::PeOptions pe;
  pe.fileVersion = {2, 4, 1, 6};
  testsupport::writeFileBytes(updater / "Quendral.exe", testsupport::buildPeFixture(pe).bytes);
  pe.fileVersion = {2, 4, 1, 7};
  const std::string part = ".Quendral.exe.quendral-part-0123456789abcdef";
  testsupport::writeFileBytes(updater / part, testsupport::buildPeFixture(pe).bytes);
  std::filesystem::create_directories(updater / "Update");
  zip::JournalFile(update::installJournalPath(updater / "Update"))
      .write({.phase = zip::InstallJournal::Phase::Renaming,
              .files = {{.target = "Quendral.exe", .part = part}}},
             false);

  Window window(updater / "");
  window.frm.FormShow();
  EXPECT_EQ(window.frm.Text3->text(), "2.4.1.7");
  EXPECT_FALSE(std::filesystem::exists(updater / part));
  EXPECT_TRUE(std::filesystem::is_empty(updater / "Update"));
}

TEST(UpdateFrm, MissingColourKeyStopsFormShowWhereItIsLookedUp) {
  Window window;
  window.resources.colourTable.colours.remove("TextoSubtitulos");
  EXPECT_THROW(window.frm.FormShow(), branding::ItemNotFoundError);
  // Everything up to the welcome sentence is branded; the installed version is not shown.
  EXPECT_EQ(window.frm.CornerButton16->styleLookup(), "CornerButtonKubStyle1");
  EXPECT_EQ(window.frm.Text5->palette().color(QPalette::WindowText), QColor(Qt::white));
  EXPECT_TRUE(window.frm.CornerButton16->isEnabled());
}

TEST(UpdateFrm, KubBannerBlendsBannerIntoBannerGradiente) {
  Window window;
  window.frm.FormShow();
  const branding::Gradient& banner = window.frm.Banner->gradient();
  ASSERT_EQ(banner.stops.size(), 2);
  EXPECT_EQ(banner.stops[0].argb, 0xFF1F4E79u);
  EXPECT_EQ(banner.stops[1].argb, 0xFF6FA8DCu);
  EXPECT_DOUBLE_EQ(banner.stops[0].offset, testsupport::designed::banner[0].offset);
  EXPECT_EQ(window.frm.Fondo1->gradient(), window.catalogue.getRectangleGradient());
}

TEST(UpdateFrm, SalirClosesTheWindow) {
  Window window;
  window.frm.FormShow();
  window.frm.show();
  QTest::mouseClick(window.frm.CornerButton2, Qt::LeftButton);
  EXPECT_FALSE(window.frm.isVisible());
}

// A window whose handler fails, to see the one path every handler's errors take.
class FailingHandler : public QWidget {
public:
  int stepsDone = 0;
  void handler() {
    ++stepsDone;
    throw std::runtime_error("HTTP/1.1 404 Not Found");
  }
};

TEST(ErrorReporting, HandlerErrorIsShownInTheErrorDialogAndTheWindowCarriesOn) {
  FailingHandler window;
  QString title, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    EXPECT_EQ(box->buttons().size(), 1);
    box->accept();
  });
  guarded(&window, &FailingHandler::handler)();
  EXPECT_EQ(title, "Error");
  EXPECT_EQ(text, "HTTP/1.1 404 Not Found.");
  EXPECT_EQ(window.stepsDone, 1);
}

}  // namespace
}  // namespace app
