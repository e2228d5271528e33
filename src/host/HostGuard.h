// Runs a user action so that an error raised inside it (a host call that throws,
// a failed conversion) is shown to the user instead of reaching Qt's event loop.
#pragma once

#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace sqda {

// The library's default error display: an error box with the error's message.
void showErrorMessage(const QString &message);

// Calls `action`; any exception is caught and shown. Returns false when one was.
bool runGuarded(const std::function<void()> &action);

} // namespace sqda
