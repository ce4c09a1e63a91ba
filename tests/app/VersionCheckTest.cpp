// "Buscar Actualización" end to end: the real window and HTTP client against a scripted server.
#include "app/UpdateFrm.h"
#include "branding/CornerButton.h"
#include "branding/EstiloComponentesUpdater.h"
#include "net/HttpClient.h"
#include "tests/support/DialogCatcher.h"
#include "tests/support/FixedResources.h"
#include "tests/support/ScriptedHttpServer.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

namespace app {
namespace {

namespace fs = std::filesystem;
using testsupport::Reply;

const char* const kHistory =
    "KUB 2.4.1.6\r\n- Facturas con varios impuestos.\r\n\r\n"
    "KUB 2.4.1.7\r\n- Nuevo informe de ventas.\r\n- Corrige el redondeo.\r\n";

class VersionCheck : public ::testing::Test {
protected:
  void SetUp() override {
    net::globalInit();
    resources.updatePath = QString::fromStdString(server->url("/kub/"));
    window = std::make_unique<Window>(resources, updaterDir());
    window->frm.FormShow();
    window->frm.Text3->setText("2.4.1.6");
  }

  fs::path updaterDir() const { return fs::path(dir.path().toStdString()) / ""; }

  QStringList listItems() const {
    QStringList items;
    for (int i = 0; i < window->frm.ListBox1->count(); ++i)
      items << window->frm.ListBox1->item(i)->text();
    return items;
  }

  // Presses the button; returns the texts of the dialogs it opened.
  QStringList check() {
    testsupport::DialogCatcher dialogs;
    QTest::mouseClick(window->frm.CornerButton1, Qt::LeftButton);
    return dialogs.texts();
  }

  struct Window {
    Window(const testsupport::FixedResources& resources, const fs::path& directory)
        : frm(resources, directory), catalogue(resources) {
      frm.setStyleCatalogue(&catalogue);
    }
    TUpdateFrm frm;
    branding::TEstiloComponentesUpdaterFrm catalogue;
  };

  QTemporaryDir dir;
  std::unique_ptr<testsupport::ScriptedHttpServer> server =
      std::make_unique<testsupport::ScriptedHttpServer>();
  testsupport::FixedResources resources;
  std::unique_ptr<Window> window;
};

TEST_F(VersionCheck, ShowsTheNewestBlockAndOffersTheUpdate) {
  server->on("/kub/VersionesKUB.txt", Reply::ok(kHistory));
  window->frm.Text8->show();  // an update under way
  window->frm.Text11->setText("37 %");
  window->frm.ProgressBar1->setValue(37);

  EXPECT_EQ(check(), QStringList());

  EXPECT_EQ(listItems(),
            QStringList({"KUB 2.4.1.7", "- Nuevo informe de ventas.", "- Corrige el redondeo."}));
  EXPECT_EQ(window->frm.Text7->text(), "2.4.1.7");
  EXPECT_TRUE(window->frm.CornerButton16->isEnabled());
  EXPECT_FALSE(window->frm.Text8->isVisibleTo(&window->frm));
  EXPECT_TRUE(window->frm.Text11->text().isEmpty());
  EXPECT_EQ(window->frm.ProgressBar1->value(), 0);
  EXPECT_TRUE(fs::is_directory(updaterDir() / "Update"));
  EXPECT_TRUE(fs::is_empty(updaterDir() / "Update")) << "the copy is deleted after reading";

  const auto request = server->requests().at(0);
  EXPECT_EQ(request.target, "/kub/VersionesKUB.txt");
  EXPECT_EQ(request.header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(request.header("Accept"),
            "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
  EXPECT_FALSE(request.header("Accept-Encoding"));
  EXPECT_FALSE(request.header("Authorization"));
}

TEST_F(VersionCheck, OffersTheUpdateExactlyWhenTheTrimmedVersionsDiffer) {
  const struct {
    const char* installed;
    const char* header;
    bool offered;
  } cases[] = {{"2.4.1.7", "KUB 2.4.1.7", false},    {"2.4.1.6", "KUB 2.4.1.7", true},
               {"2.4.1.8", "KUB 2.4.1.7", true},     {"", "KUB 2.4.1.7", true},
               {"2.4.1.7", "KUB 2.4.1.7 \t", false}, {"2.4.1.7", "2.4.1.7", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " / " + c.header);
    server->on("/kub/VersionesKUB.txt", Reply::ok(std::string(c.header) + "\n- cambio\n"));
    window->frm.Text3->setText(c.installed);
    EXPECT_EQ(check(), QStringList());
    EXPECT_EQ(window->frm.CornerButton16->isEnabled(), c.offered);
  }
}

TEST_F(VersionCheck, FailuresAreShownAndLeaveTheStateAsItWas) {
  server->on("/kub/VersionesKUB.txt", Reply::ok(kHistory));
  ASSERT_EQ(check(), QStringList());
  const QStringList before = listItems();

  const struct {
    const char* name;
    std::function<void()> arrange;
    QString message;  // a prefix of the dialog's text
  } cases[] = {
      {"404",
       [&] {
         server->on("/kub/VersionesKUB.txt",
                    Reply::response("HTTP/1.1 404 Not Found", {}, "<html/>"));
       },
       "HTTP/1.1 404 Not Found."},
      {"redirect not taken",
       [&] { server->on("/kub/VersionesKUB.txt", Reply::redirect(302, "/elsewhere.txt")); },
       "HTTP/1.1 302 "},
      {"other scheme", [&] { resources.updatePath = "ftp://127.0.0.1/kub/"; }, "Unknown Protocol"},
      {"read time-out",
       [&] {
         resources.updatePath = QString::fromStdString(server->url("/kub/"));
         window->frm.IdHTTP1->setReadTimeout(std::chrono::milliseconds(200));
         server->on("/kub/VersionesKUB.txt", Reply().hang());
       },
       "Read timed out."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    window->frm.FormShow();  // takes the resource values anew
    window->frm.Text3->setText("2.4.1.6");
    window->frm.CornerButton16->setEnabled(true);
    const QStringList texts = check();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(c.message)) << texts[0].toStdString();
    EXPECT_EQ(listItems(), before);
    EXPECT_EQ(window->frm.Text7->text(), "2.4.1.7");
    EXPECT_TRUE(window->frm.CornerButton16->isEnabled());
  }
}

// Servers' text is shown exactly as written: markup is never rendered and a link never opens.
TEST_F(VersionCheck, TextFromTheServerIsShownAsPlainText) {
  const std::string statusLine =
      "HTTP/1.1 500 <h1><font color=red>URGENTE</font></h1><a href=http://127.0.0.1:9/p>"
      "Descargue el parche</a>";
  server->on("/kub/VersionesKUB.txt", Reply::response(statusLine, {}, ""));
  testsupport::DialogCatcher dialogs;
  QTest::mouseClick(window->frm.CornerButton1, Qt::LeftButton);
  EXPECT_EQ(dialogs.texts(), QStringList({QString::fromStdString(statusLine) + "."}));
  EXPECT_FALSE(dialogs.richTextShown());

  server->on("/kub/VersionesKUB.txt",
             Reply::ok("KUB <b>2.4.1.7</b>\r\n- <a href=\"http://x\">parche</a>\r\n"));
  ASSERT_EQ(check(), QStringList());
  EXPECT_EQ(window->frm.Text7->text(), "<b>2.4.1.7</b>");
  EXPECT_EQ(listItems(), QStringList({"KUB <b>2.4.1.7</b>", "- <a href=\"http://x\">parche</a>"}));
  for (const QLabel* label : window->frm.findChildren<QLabel*>()) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
  }
}

// The check blocks the window, so a server that trickles must not hold it for good.
TEST_F(VersionCheck, ATricklingServerCannotHoldTheWindowForGood) {
  EXPECT_EQ(window->frm.IdHTTP1->totalTimeout(), std::chrono::seconds(60));
  Reply trickle;
  trickle.head("HTTP/1.1 200 OK", {"Content-Length: 1000"});
  for (int i = 0; i < 200; ++i) trickle.pause(std::chrono::milliseconds(50)).send("K");
  server->on("/kub/VersionesKUB.txt", trickle);
  window->frm.IdHTTP1->setTotalTimeout(std::chrono::milliseconds(500));
  EXPECT_EQ(check(), QStringList({"Read timed out."}));
}

TEST_F(VersionCheck, UnreachableServerShowsTheClientsText) {
  server.reset();  // nobody listens on that port now
  const QStringList texts = check();
  ASSERT_EQ(texts.size(), 1);
  EXPECT_FALSE(texts[0].isEmpty());
  EXPECT_EQ(window->frm.ListBox1->count(), 0);
  // The window carries on: a later check works.
}

TEST_F(VersionCheck, NoHeaderLineShowsTheLinesAndFailsWithListIndexOutOfBounds) {
  server->on("/kub/VersionesKUB.txt", Reply::ok("\n- uno\n\n- dos\n"));
  EXPECT_EQ(check(), QStringList({"List index out of bounds (-1)"}));
  EXPECT_EQ(listItems(), QStringList({"- uno", "- dos"}));
  EXPECT_FALSE(window->frm.CornerButton16->isEnabled());
  EXPECT_TRUE(window->frm.Text7->text().isEmpty());
}

TEST_F(VersionCheck, CopyThatCannotBeCreatedNamesItsPath) {
  server->on("/kub/VersionesKUB.txt", Reply::ok(kHistory));
  std::ofstream(updaterDir() / "Update") << "a file where the update directory belongs";
  const QStringList texts = check();
  ASSERT_EQ(texts.size(), 1);
  const QString expected =
      QString("Cannot create file \"%1\". ")
          .arg(QString::fromStdString((updaterDir() / "Update" / "VersionesKUB.txt").string()));
  EXPECT_TRUE(texts[0].startsWith(expected)) << texts[0].toStdString();
}

TEST_F(VersionCheck, CookiesAreKeptForLaterChecks) {
  server->on("/kub/VersionesKUB.txt",
             Reply::response("HTTP/1.1 200 OK", {"Set-Cookie: session=abc; Path=/"}, kHistory));
  check();
  check();
  const auto requests = server->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].header("Cookie"));
  EXPECT_EQ(requests[1].header("Cookie"), "session=abc");
}

TEST(VersionCheckTls, VerifiesTheServerCertificate) {
  net::globalInit();
  testsupport::TestCertificates pki;
  testsupport::ScriptedHttpServer server(pki.serverTls());
  server.on("/kub/VersionesKUB.txt", Reply::ok(kHistory));
  QTemporaryDir dir;
  testsupport::FixedResources resources;
  resources.updatePath = QString::fromStdString(server.url("/kub/"));
  TUpdateFrm frm(resources, fs::path(dir.path().toStdString()));
  frm.FormShow();

  {
    testsupport::DialogCatcher dialogs;
    QTest::mouseClick(frm.CornerButton1, Qt::LeftButton);
    EXPECT_EQ(dialogs.texts().size(), 1) << "a certificate from an unknown CA is refused";
    EXPECT_EQ(frm.ListBox1->count(), 0);
  }
  frm.IdHTTP1->ioHandler().setCaFileForTests(pki.caFile());
  {
    testsupport::DialogCatcher dialogs;
    QTest::mouseClick(frm.CornerButton1, Qt::LeftButton);
    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_EQ(frm.Text7->text(), "2.4.1.7");
  }
}

}  // namespace
}  // namespace app
