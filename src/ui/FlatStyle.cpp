#include "FlatStyle.h"

#include <QComboBox>
#include <QLineEdit>

namespace sqda {

void makeFlatEdit(QLineEdit *edit, const QColor &lineColor, QChar mask)
{
    QString sheet = QStringLiteral("QLineEdit { border: 1px solid %1; background: white; padding: 1px; ")
                        .arg(lineColor.name());
    if (!mask.isNull()) {
        sheet += QStringLiteral("lineedit-password-character: %1; ").arg(mask.unicode());
        edit->setEchoMode(QLineEdit::Password);
    }
    sheet += QLatin1Char('}');
    edit->setStyleSheet(sheet);
    edit->setProperty("lineColor", lineColor);
}

void makeFlatComboBox(QComboBox *box, const QColor &lineColor)
{
    box->setStyleSheet(QStringLiteral("QComboBox { border: 1px solid %1; background: white; padding: 1px 18px 1px 3px; }"
                                      "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: top right;"
                                      " width: 16px; border-left: 1px solid %1; }")
                           .arg(lineColor.name()));
    box->setProperty("lineColor", lineColor);
}

} // namespace sqda
