#include "ShowHostError.h"

#include "LibraryWindows.h"

#include <QWidget>

#include <algorithm>

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

QString boundedErrorText(const QString &text)
{
    QString shown;
    qsizetype lines = 0;
    qsizetype from = 0;
    bool cut = false;
    // Walks line by line and stops at the limit, so a text of any size costs
    // no more than what is shown.
    while (from <= text.size()) {
        qsizetype end = text.indexOf(u'\n', from);
        const qsizetype next = end < 0 ? text.size() + 1 : end + 1;
        if (end < 0)
            end = text.size();
        const qsizetype lineEnd = end > from && text.at(end - 1) == u'\r' ? end - 1 : end;
        if (lines == ErrorTextLimits::Lines) {
            cut = true;
            break;
        }
        QStringView line = QStringView(text).mid(from, lineEnd - from);
        const qsizetype room = ErrorTextLimits::Total - shown.size();
        const qsizetype keep = std::min({ line.size(), ErrorTextLimits::LineLength, std::max<qsizetype>(room, 0) });
        if (lines > 0)
            shown += QStringLiteral("\r\n");
        shown += line.left(keep);
        ++lines;
        if (keep < line.size()) {
            shown += QChar(0x2026); // …
            cut = true;
            if (keep < ErrorTextLimits::LineLength)
                break; // the whole text's room is used up
        }
        from = next;
    }
    if (cut)
        shown += QStringLiteral("\r\n（错误信息过长，只显示了前面的一部分：共 %1 个字符。）").arg(text.size());
    return shown;
}

void showHostErrorText(QWidget *owner, const QString &text)
{
    // Host texts are shown as typed, never as markup; the owner may be
    // destroyed while the box is up (a host processing events does).
    showMessageBox(owner, QMessageBox::Critical, QStringLiteral("错误"), boundedErrorText(text));
}

QString ShowHostError(QWidget *owner, const QVariant &error, const QString &heading)
{
    const QString text = composeHostError(error, heading);
    if (owner)
        showHostErrorText(owner, text);
    return text;
}

} // namespace sqda
