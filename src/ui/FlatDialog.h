// The themed modal dialogs: a message with an icon and a row of buttons, a
// one-line text input, and a choice from a drop-down list. Each call builds its
// dialog, runs it modally with the library's owner window and destroys it.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QDialog;

namespace sqda {

enum class MessageKind { Warning = 0, Error = 1, Information = 2, Confirmation = 3, Custom = 4 };

// Bit n of a button set stands for the button of ordinal n; buttons appear left
// to right in bit order.
enum class DialogButton { Yes = 0, No, OK, Cancel, Abort, Retry, Ignore, All, NoToAll, YesToAll, Help };
using DialogButtons = quint16;
constexpr DialogButtons buttonBit(DialogButton b)
{
    return DialogButtons(1u << unsigned(b));
}

// The result with which a dialog closed. The values are fixed: callers compare them.
enum DialogResult {
    ResultNone = 0,
    ResultOK = 1,
    ResultCancel = 2,
    ResultAbort = 3,
    ResultRetry = 4,
    ResultIgnore = 5,
    ResultYes = 6,
    ResultNo = 7,
    ResultAll = 8,
    ResultNoToAll = 9,
    ResultYesToAll = 10,
};

int ShowFlatMessage(const QString &message, MessageKind kind, DialogButtons buttons, int helpContext = 0);
// The laid-out message form, not shown; the caller owns it.
std::unique_ptr<QDialog> CreateFlatMessageForm(const QString &message, MessageKind kind, DialogButtons buttons);
bool QueryFlatText(const QString &caption, const QString &prompt, QString &value, QChar mask = QChar());
QString AskFlatText(const QString &caption, const QString &prompt, const QString &defaultText);
void ChooseFlatItem(
    const QString &caption, const QString &prompt, const QStringList &items, int listStyle, QString &value);

} // namespace sqda
