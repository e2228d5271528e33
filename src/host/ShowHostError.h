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

// Shows an already composed host error (composeHostError) in the same box.
void showHostErrorText(QWidget *owner, const QString &text);

} // namespace sqda
