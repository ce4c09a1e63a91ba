// "Actualizar" end to end: the window starts a worker that downloads from a scripted server,
// drives the progress bar and text, extracts the archive over the updater's directory and shows
// the end text.
#include "app/UpdateFrm.h"
#include "branding/CornerButton.h"
#include "net/HttpClient.h"
#include "platform/ExclusiveFile.h"
#include "signature/SecretKey.h"
#include "signature/Signer.h"
#include "signature/StreamingHash.h"
#include "tests/support/FixedResources.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

namespace app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::Reply;

constexpr char kArchivePath[] = "/kub/KUBUpdate-ESC.2.4.1.7.zip";
const QString kDone = "Proceso finalizado.";
const QString kDoneWithErrors = "Proceso finalizado con errores.";

std::string sampleArchive() {
  testsupport::ZipFixtureEntry readme{
      .name = "LEEME.txt", .data = "Quendral 2.4.1.7\n", .method = 8};
  readme.password = update::kArchivePassword;
  testsupport::ZipFixtureEntry report{
      .name = "Informes/Ventas.rpt", .data = "[Informe]\n", .method = 0};
  report.password = update::kArchivePassword;
  return testsupport::buildZip({readme, report});
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Update : public ::testing::Test {
protected:
  void SetUp() override {
    net::globalInit();
    resources.updatePath = QString::fromStdString(server.url("/kub/"));
    frm = std::make_unique<TUpdateFrm>(resources, updaterDir());
    frm->FormShow();
    frm->workerSettings.firstRetryDelay = 10ms;
    frm->workerSettings.longestRetryDelay = 40ms;
    frm->workerSettings.configureDownloader = [this](update::TIdHTTPProgress& downloader) {
      downloader.setReadTimeout(1000ms);
      if (!trustedCa.empty()) downloader.ioHandler().setCaFileForTests(trustedCa);
      // Every body step lets the server send what follows an awaitRelease().
      downloader.onWork = [this, own = downloader.onWork](std::int64_t count) {
        own(count);
        server.release();
      };
    };
    frm->Text7->setText(" 2.4.1.7 ");
    frm->CornerButton16->setEnabled(true);
  }

  fs::path updaterDir() const { return fs::path(dir.path().toStdString()) / ""; }

  // Presses "Actualizar" and records every progress text until the worker has ended or the
  // test has seen enough.
  QStringList runUpdate(const std::function<bool(const QStringList&)>& enough = {}) {
    QStringList texts;
    QTest::mouseClick(frm->CornerButton16, Qt::LeftButton);
    QPointer<update::TUpdateHilo> worker = frm->UpdateHilo;
    EXPECT_TRUE(worker);
    QObject::connect(worker, &update::TUpdateHilo::textShown,
                     [&](const QString& text) { texts << text; });
    // The worker was started before we connected: take what it may have shown already.
    if (!frm->Text11->text().isEmpty() && texts.isEmpty()) texts << frm->Text11->text();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !worker || (enough && enough(texts)); }, 20000));
    if (worker) {
      worker->Terminate();
      EXPECT_TRUE(QTest::qWaitFor([&] { return !worker; }, 20000)) << "the worker releases itself";
    }
    return texts;
  }

  QTemporaryDir dir;
  testsupport::ScriptedHttpServer server;
  fs::path trustedCa;  // the CA the downloaders trust; none: the system's store
  testsupport::FixedResources resources;
  std::unique_ptr<TUpdateFrm> frm;
};

TEST_F(Update, ProgressTextFollowsTheBodyThenTheEndText) {
  server.on(kArchivePath, Reply()
                              .head("HTTP/1.1 200 OK", {"Content-Length: 8"})
                              .send("P")
                              .awaitRelease()
                              .send("K\3")
                              .awaitRelease()
                              .send("\4x")
                              .awaitRelease()
                              .send("yz!"));
  const QStringList texts = runUpdate();
  // Eight bytes are no archive: nothing is installed, and the end text says so.
  EXPECT_EQ(texts, QStringList({"0 %", "12 %", "38 %", "62 %", "100 %", kDoneWithErrors}));
  EXPECT_FALSE(frm->CornerButton16->isEnabled());
  EXPECT_TRUE(frm->Text8->isVisibleTo(frm.get()));
  EXPECT_EQ(frm->ProgressBar1->value(), 100);
  EXPECT_EQ(readFile(updaterDir() / "Update" / "KUBUpdate-ESC.2.4.1.7.zip"), "PK\3\4xyz!");
}

TEST_F(Update, WholeArchiveIsInstalledOverTheUpdatersDirectory) {
  server.on(kArchivePath, Reply::ok(sampleArchive()));
  const fs::path working = fs::temp_directory_path();
  const QStringList texts = runUpdate();
  EXPECT_EQ(texts.last(), kDone);
  EXPECT_EQ(texts[texts.size() - 2], "100 %");
  EXPECT_EQ(readFile(updaterDir() / "LEEME.txt"), "Quendral 2.4.1.7\n");
  EXPECT_EQ(readFile(updaterDir() / "Informes" / "Ventas.rpt"), "[Informe]\n");
  EXPECT_EQ(server.requests().at(0).target, kArchivePath) << "the version in Text7 is trimmed";
  EXPECT_EQ(server.requests().at(0).header("Authorization"), "Basic Og==");
  EXPECT_EQ(resources.sistemaCalls.load(), 2) << "once at the first show, once for the attempt";
}

TEST_F(Update, ChunkedArchiveStaysAtZeroUntilTheEnd) {
  const std::string archive = sampleArchive();
  server.on(kArchivePath, Reply()
                              .head("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"})
                              .chunk(archive.substr(0, 40))
                              .awaitRelease()
                              .chunk(archive.substr(40))
                              .chunk(""));
  EXPECT_EQ(runUpdate(), QStringList({"0 %", kDone}));
}

TEST_F(Update, RedirectWithABodyEndsTwoBodiesAndShowsTheEndTextOnce) {
  server.on("/kub/KUBUpdate-ESC.2.4.1.7.zip",
            Reply::redirect(302, "/mirror/a.zip", "<p>moved</p>"));
  server.on("/mirror/a.zip", Reply::ok(sampleArchive()));
  const QStringList texts = runUpdate();
  EXPECT_EQ(texts.count("100 %"), 2) << texts.join(" | ").toStdString();
  EXPECT_EQ(texts.count(kDone), 1);
  EXPECT_EQ(texts.last(), kDone);
  EXPECT_TRUE(fs::exists(updaterDir() / "LEEME.txt"));
}

TEST_F(Update, FailuresEndWithTheErrorsText) {
  const std::string archive = sampleArchive();
  const struct {
    const char* name;
    Reply reply;
  } cases[] = {
      {"404 page", Reply::response("HTTP/1.1 404 Not Found", {}, "<html>no</html>")},
      {"half then a lost connection",
       Reply()
           .head("HTTP/1.1 200 OK", {"Content-Length: " + std::to_string(archive.size())})
           .send(archive.substr(0, archive.size() / 2))
           .reset()},
      {"half then silence",
       Reply()
           .head("HTTP/1.1 200 OK", {"Content-Length: " + std::to_string(archive.size())})
           .send(archive.substr(0, archive.size() / 2))
           .hang()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.on(kArchivePath, c.reply);
    const size_t before = server.requests().size();
    frm->CornerButton16->setEnabled(true);
    const QStringList texts = runUpdate();
    EXPECT_EQ(texts.last(), kDoneWithErrors);
    EXPECT_EQ(server.requests().size(), before + 1) << "no further attempt after a body";
    EXPECT_FALSE(fs::exists(updaterDir() / "LEEME.txt"));
  }
}

TEST_F(Update, AttemptsWithoutABodyRepeatWithGrowingPauses) {
  server.on(kArchivePath, Reply().reset());  // the connection breaks before any answer
  const auto start = std::chrono::steady_clock::now();
  QStringList texts = runUpdate([&](const QStringList&) { return server.requests().size() >= 4; });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // The test stops the worker once the fourth request has arrived: stopped in that attempt, it
  // ends with the errors text; stopped in the pause after it, without.
  if (!texts.isEmpty() && texts.last() == kDoneWithErrors) texts.removeLast();
  for (const auto& request : server.requests()) EXPECT_EQ(request.target, kArchivePath);
  EXPECT_TRUE(texts.count() >= 4 && texts.count("0 %") == texts.count())
      << texts.join(" | ").toStdString();
  // Pauses of 10, 20 and 40 ms lie between the four attempts.
  EXPECT_GE(elapsed, 70ms);
  EXPECT_EQ(frm->ProgressBar1->value(), 0);
}

// A refusal would meet every further attempt again: the update ends after one attempt, with the
// errors text, and installs nothing. These refusals come without a body, so no body end stops
// the attempts (a https to http redirect with a body ends through its body, as any body does).
TEST_F(Update, RefusalsEndTheUpdateAfterOneAttempt) {
  testsupport::TestCertificates pki;
  testsupport::TestCertificates otherHostPki({"wrong.example"}, {});
  testsupport::ScriptedHttpServer secure(pki.serverTls());
  testsupport::ScriptedHttpServer otherHost(otherHostPki.serverTls());
  secure.on(kArchivePath, Reply::redirect(302, server.url("/tampered.zip")));
  otherHost.on(kArchivePath, Reply::ok(sampleArchive()));
  server.on("/tampered.zip", Reply::ok(sampleArchive()));
  server.on("/ftp/KUBUpdate-ESC.2.4.1.7.zip", Reply::redirect(302, "ftp://127.0.0.1/a.zip"));
  server.on("/loop/KUBUpdate-ESC.2.4.1.7.zip", Reply::redirect(302, "KUBUpdate-ESC.2.4.1.7.zip"));
  const struct {
    const char* name;
    testsupport::ScriptedHttpServer& host;
    std::string updatePath;
    fs::path trustedCa;
    std::size_t requests;  // what the host reads in that one attempt
  } cases[] = {
      {"https redirect to plain http", secure, secure.url("/kub/"), pki.caFile(), 1},
      {"certificate from an untrusted CA", secure, secure.url("/kub/"), {}, 0},
      {"certificate for another host name", otherHost, otherHost.url("/kub/"),
       otherHostPki.caFile(), 0},
      {"redirect to another scheme", server, server.url("/ftp/"), {}, 1},
      {"redirect limit", server, server.url("/loop/"), {}, net::HttpClient::kMaxRedirects + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    frm->updatePath = QString::fromStdString(c.updatePath);
    trustedCa = c.trustedCa;
    const int connections = c.host.connectionCount();
    const std::size_t requests = c.host.requests().size();
    frm->CornerButton16->setEnabled(true);
    // Before the worker's own end, a second attempt's connection is enough to tell.
    const QStringList texts =
        runUpdate([&](const QStringList&) { return c.host.connectionCount() > connections + 1; });
    EXPECT_EQ(texts, QStringList({"0 %", kDoneWithErrors})) << texts.join(" | ").toStdString();
    EXPECT_EQ(c.host.connectionCount(), connections + 1) << "one attempt";
    EXPECT_EQ(c.host.requests().size(), requests + c.requests);
    EXPECT_EQ(fs::file_size(updaterDir() / "Update" / "KUBUpdate-ESC.2.4.1.7.zip"), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(updaterDir()), fs::directory_iterator()), 1)
        << "nothing beside the update folder";
    EXPECT_EQ(
        std::distance(fs::directory_iterator(updaterDir() / "Update"), fs::directory_iterator()), 1)
        << "nothing beside the empty archive";
  }
  for (const auto& request : server.requests()) EXPECT_NE(request.target, "/tampered.zip");
}

// Failures that may pass on their own are tried again, after the pause, until an attempt gets
// the archive.
TEST_F(Update, PassingFailuresAreRetriedUntilTheArchiveArrives) {
  const std::string archive = sampleArchive();
  const struct {
    const char* name;
    Reply failure;
  } cases[] = {
      {"lost connection", Reply().reset()},
      {"closed before an answer", Reply().close()},
      {"503 without a body", Reply::response("HTTP/1.1 503 Service Unavailable", {}, "")},
      {"404 without a body", Reply::response("HTTP/1.1 404 Not Found", {}, "")},
      {"no answer within the read time-out", Reply().hang()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(updaterDir() / "LEEME.txt");
    server.enqueue(c.failure);
    server.enqueue(Reply::ok(archive));
    const std::size_t requests = server.requests().size();
    frm->CornerButton16->setEnabled(true);
    const QStringList texts = runUpdate();
    EXPECT_EQ(texts, QStringList({"0 %", "0 %", "100 %", kDone}))
        << texts.join(" | ").toStdString();
    EXPECT_EQ(server.requests().size(), requests + 2);
    EXPECT_EQ(readFile(updaterDir() / "LEEME.txt"), "Quendral 2.4.1.7\n");
  }
}

// The version in Text7 is the server's text, and it becomes part of the archive's name: a
// name that is not one plain file name starts no download and writes nothing anywhere.
TEST_F(Update, ArchiveNameThatIsNotAPlainFileNameWritesNothing) {
  const fs::path outside = fs::path(dir.path().toStdString()).parent_path();
  const QString versions[] = {"/../../../outside", "..\\..\\outside", "2.4.1.7:stream",
                              "C:\\outside\\x"};
  server.on("/kub/KUBUpdate-ESC./../../../outside.zip", Reply::ok(sampleArchive()));
  for (const QString& version : versions) {
    SCOPED_TRACE(version.toStdString());
    frm->Text7->setText(version);
    frm->CornerButton16->setEnabled(true);
    EXPECT_EQ(runUpdate(), QStringList({kDoneWithErrors}));
  }
  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(fs::exists(updaterDir() / "Update")) << "not even the update folder";
  EXPECT_FALSE(fs::exists(outside / "outside.zip"));
  EXPECT_EQ(std::distance(fs::directory_iterator(updaterDir()), fs::directory_iterator()), 0);
}

// A product line with an update key: an archive is installed only when its signature, fetched
// from beside it, verifies.
class SignedUpdate : public Update {
protected:
  void SetUp() override {
    resources.updateKey = QString::fromStdString(key.publicKey().line());
    Update::SetUp();
  }

  static std::string signatureOf(const std::string& archive, const signature::SecretKey& by,
                                 const std::string& fileName = kArchiveName) {
    signature::StreamingHash hash;
    hash.update(archive.data(), archive.size());
    return signature::signFile(by, hash.finish(), signature::defaultTrustedComment(fileName, 1))
        .text("signature from the test key");
  }

  static constexpr char kArchiveName[] = "KUBUpdate-ESC.2.4.1.7.zip";
  static constexpr char kSignaturePath[] = "/kub/KUBUpdate-ESC.2.4.1.7.zip.minisig";
  const signature::SecretKey key = signature::SecretKey::generate();
  const std::string archive = sampleArchive();
};

TEST_F(SignedUpdate, ASignedArchiveIsInstalled) {
  server.on(kArchivePath, Reply::ok(archive));
  server.on(kSignaturePath, Reply::ok(signatureOf(archive, key)));
  EXPECT_EQ(runUpdate(), QStringList({"0 %", "100 %", kDone}));
  EXPECT_EQ(readFile(updaterDir() / "LEEME.txt"), "Quendral 2.4.1.7\n");
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[0].target, kArchivePath);
  EXPECT_EQ(server.requests()[1].target, kSignaturePath) << "after the archive";
}

// A server that sends the archive on to a mirror: the signature is asked for beside the URL the
// updater asked, and only the mirror's body is hashed, not the redirect's.
TEST_F(SignedUpdate, AnArchiveFromAMirrorVerifies) {
  server.on(kArchivePath, Reply::redirect(302, "/mirror/a.zip", "<p>moved</p>"));
  server.on("/mirror/a.zip", Reply::ok(archive));
  server.on(kSignaturePath, Reply::ok(signatureOf(archive, key)));
  EXPECT_EQ(runUpdate().last(), kDone);
  EXPECT_EQ(readFile(updaterDir() / "LEEME.txt"), "Quendral 2.4.1.7\n");
}

TEST_F(SignedUpdate, WhatDoesNotVerifyIsNeitherInstalledNorKept) {
  std::string changed = archive;
  changed[changed.size() / 2] ^= 1;
  const signature::SecretKey otherKey = signature::SecretKey::generate();
  const struct {
    const char* name;
    std::string served;
    Reply signatureReply;
  } cases[] = {
      {"one byte changed", changed, Reply::ok(signatureOf(archive, key))},
      {"signed by another key", archive, Reply::ok(signatureOf(archive, otherKey))},
      {"a comment for another version's file", archive,
       Reply::ok(signatureOf(archive, key, "KUBUpdate-ESC.2.4.1.6.zip"))},
      {"no signature (404)", archive, Reply::response("HTTP/1.1 404 Not Found", {}, "")},
      {"not a signature file", archive, Reply::ok("<html>signed, honestly</html>")},
      {"an answer too large for a signature", archive, Reply::ok(std::string(100000, 'x'))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.on(kArchivePath, Reply::ok(c.served));
    server.on(kSignaturePath, c.signatureReply);
    const size_t before = server.requests().size();
    frm->CornerButton16->setEnabled(true);
    EXPECT_EQ(runUpdate(), QStringList({"0 %", "100 %", kDoneWithErrors}));
    EXPECT_EQ(server.requests().size(), before + 2) << "no retry";
    EXPECT_FALSE(fs::exists(updaterDir() / "LEEME.txt"));
    EXPECT_FALSE(fs::exists(updaterDir() / "Informes"));
    EXPECT_FALSE(fs::exists(updaterDir() / "Update" / kArchiveName)) << "the archive is removed";
  }
}

TEST_F(SignedUpdate, ASignatureThatCannotBeFetchedYetIsAskedForAgain) {
  server.on(kArchivePath, Reply::ok(archive));
  server.enqueue(Reply::response("HTTP/1.1 503 Service Unavailable", {}, ""));
  server.enqueue(Reply().reset());
  server.enqueue(Reply::ok(signatureOf(archive, key)));
  EXPECT_EQ(runUpdate(), QStringList({"0 %", "100 %", kDone}));
  EXPECT_EQ(readFile(updaterDir() / "LEEME.txt"), "Quendral 2.4.1.7\n");
  ASSERT_EQ(server.requests().size(), 4u);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(server.requests()[i].target, kSignaturePath);
}

TEST_F(SignedUpdate, AMalformedKeyFailsTheFirstShow) {
  resources.updateKey = "RWQnot+a+key";
  TUpdateFrm window(resources, updaterDir());
  EXPECT_THROW(window.FormShow(), std::exception);
}

TEST_F(Update, ArchiveHeldByAnotherOpenerEndsTheWorkerSilently) {
  fs::create_directories(updaterDir() / "Update");
  platform::ExclusiveFile held(updaterDir() / "Update" / "KUBUpdate-ESC.2.4.1.7.zip",
                               platform::ExclusiveFile::Mode::CreateOrTruncate);
  server.on(kArchivePath, Reply::ok(sampleArchive()));
  EXPECT_EQ(runUpdate(), QStringList({"0 %"}));
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(frm->Text11->text(), "0 %");
}

}  // namespace
}  // namespace app
