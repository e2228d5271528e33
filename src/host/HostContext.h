// What the latest entry call handed over, shared by every form of the library.
#pragma once

#include "CoorDispRef.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace sqda {

struct HostContext
{
    QPointer<QWidget> AppWindow; // the host's application window
    QPointer<QWidget> HostControl; // receives the close notification of any form
    QString OperatorCode; // at most 255 characters
    CoorDispRef DataService;
};

// The one context of the loaded library. An entry call replaces all four fields.
HostContext &hostContext();

// Owner of the library's top-level windows (dialogs, message boxes). The entry
// calls set it to none; the base creation step of a form sets it to AppWindow.
QWidget *ownerWindow();
void setOwnerWindow(QWidget *w);

// Releases the data service and forgets the operator (library unload).
void releaseHostContext();

// Font substitutions and other once-per-process set-up; safe to call often.
void ensureLibraryInitialized();

} // namespace sqda
