// Shows a failed host call's error value to the user.
#pragma once

#include <QString>
#include <QVariant>

class QWidget;

namespace sqda {

// Composes the error value (an array of texts, one line each) under an optional
// heading; anything that is not such an array reads "未知错误！". With an owner
// it shows the text in an error box captioned "错误"; with none (0) it only composes.
// Returns the composed text.
QString ShowHostError(QWidget *owner, const QVariant &error, const QString &heading = QString());

// The composition alone.
QString composeHostError(const QVariant &error, const QString &heading);

// What an error box shows of an error text. A host may answer with any amount
// of text; laid out whole in a message box, megabytes of it stop the screen for
// minutes. At most these many lines, characters per line and characters in all
// are kept; when anything is left out the last line says so.
struct ErrorTextLimits
{
    static constexpr qsizetype Lines = 20;
    static constexpr qsizetype LineLength = 160;
    static constexpr qsizetype Total = 2000;
};
QString boundedErrorText(const QString &text);

// The library's error box ("错误", critical icon, one OK button) for an already
// composed text (composeHostError or any other failure text), shown bounded as above.
void showHostErrorText(QWidget *owner, const QString &text);

} // namespace sqda
