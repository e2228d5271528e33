#include "FlatStyle.h"

#include <QLineEdit>

namespace sqda {

void makeFlatEdit(QLineEdit *edit, const QColor &lineColor, QChar mask)
{
    QString sheet
        = QStringLiteral("QLineEdit { border: 1px solid %1; background: white; padding: 1px; ").arg(lineColor.name());
    if (!mask.isNull()) {
        sheet += QStringLiteral("lineedit-password-character: %1; ").arg(mask.unicode());
        edit->setEchoMode(QLineEdit::Password);
    }
    sheet += QLatin1Char('}');
    edit->setStyleSheet(sheet);
    edit->setProperty("lineColor", lineColor);
}

} // namespace sqda
