#include "ShowHostError.h"

#include <QMessageBox>
#include <QWidget>

namespace sqda {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool isTextLike(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
    case QMetaType::QByteArray:
        return false;
    default:
        // An unassigned element reads as an empty line, as it would in a text.
        return !v.isValid() || v.canConvert<QString>();
    }
}

} // namespace

QString composeHostError(const QVariant &error, const QString &heading)
{
    QString text = heading.isEmpty() ? QString() : heading + kCrLf;
    const int type = error.typeId();
    if (type == QMetaType::QVariantList || type == QMetaType::QStringList) {
        const QVariantList items = error.toList();
        bool failed = false;
        for (const QVariant &item : items) {
            if (!isTextLike(item)) {
                failed = true; // lines appended so far stay
                break;
            }
            text += item.toString() + kCrLf;
        }
        if (failed)
            text += QStringLiteral("未知错误！") + kCrLf;
    } else {
        text += QStringLiteral("未知错误！") + kCrLf;
    }
    text.chop(2);
    return text;
}

QString ShowHostError(QWidget *owner, const QVariant &error, const QString &heading)
{
    const QString text = composeHostError(error, heading);
    if (owner)
        showHostErrorText(owner, text);
    return text;
}

void showHostErrorText(QWidget *owner, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace sqda
