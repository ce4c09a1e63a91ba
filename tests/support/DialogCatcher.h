// Answers the modal message boxes that a piece of code opens, and remembers what they said.
//
//   testsupport::DialogCatcher dialogs;
//   QTest::mouseClick(button, Qt::LeftButton);      // opens an "Error" box and returns
//   EXPECT_EQ(dialogs.texts(), QStringList{"HTTP/1.1 404 Not Found."});
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

namespace testsupport {

class DialogCatcher {
public:
  DialogCatcher() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        titles_ << box->windowTitle();
        texts_ << box->text();
        if (box->textFormat() != Qt::PlainText) richTextShown_ = true;
        box->accept();
      }
    });
    timer_.start();  // fires only inside a dialog's own event loop while the code under test runs
  }
  const QStringList& titles() const { return titles_; }
  const QStringList& texts() const { return texts_; }
  // Whether a box would have read its text as markup (rich text, links) rather than as is.
  bool richTextShown() const { return richTextShown_; }

private:
  QTimer timer_;
  QStringList titles_;
  QStringList texts_;
  bool richTextShown_ = false;
};

}  // namespace testsupport
