// The flat look of the dialogs' edit: a one-pixel border in the dialog's line
// colour on a white field.
#pragma once

#include <QChar>
#include <QColor>

class QLineEdit;

namespace sqda {

// `mask` other than a null character shows every character as `mask`.
void makeFlatEdit(QLineEdit *edit, const QColor &lineColor, QChar mask = QChar());

} // namespace sqda
