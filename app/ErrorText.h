// How an error's message is worded for the user.
#pragma once

#include <QString>

namespace app {

// The "Error" dialog of a click handler: a "." is appended when the last character's code is
// above that of "."; a message ending in ".", ")", "!" or a blank is shown as it is.
QString clickErrorText(const QString& message);

// The second line of the fatal start-up report: a "." is added when the message is not empty
// and does not already end with one.
QString fatalErrorText(const QString& message);

// "Exception <class> in module <file> at <address>.", the first line of the fatal report.
QString fatalErrorHeadline(const QString& className, const QString& moduleName, quintptr address);

}  // namespace app
