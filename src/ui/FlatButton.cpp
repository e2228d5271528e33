#include "FlatButton.h"

#include <QPainter>
#include <QShortcutEvent>

namespace sqda {

FlatButton::FlatButton(const QString &caption, QWidget *parent)
    : QAbstractButton(parent)
{
    setText(caption);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

void FlatButton::setLineColor(const QColor &color)
{
    m_lineColor = color;
    update();
}

QChar FlatButton::accessLetter(const QString &caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption.at(i) != QLatin1Char('&'))
            continue;
        if (caption.at(i + 1) != QLatin1Char('&'))
            return caption.at(i + 1);
        ++i; // "&&" is a literal ampersand
    }
    return QChar();
}

QSize FlatButton::sizeHint() const
{
    const QFontMetrics fm(font());
    const QRect r = fm.boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic, text());
    return QSize(r.width() + 16, r.height() + 8);
}

bool FlatButton::event(QEvent *e)
{
    // Alt with the access letter presses the button at once, as a click would,
    // rather than after an animated press.
    if (e->type() == QEvent::Shortcut) {
        auto *se = static_cast<QShortcutEvent *>(e);
        if (!se->isAmbiguous() && se->key() == shortcut() && isEnabled()) {
            click();
            return true;
        }
    }
    return QAbstractButton::event(e);
}

void FlatButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    if (isDown())
        p.fillRect(r.adjusted(1, 1, -1, -1), palette().color(QPalette::Window).darker(110));
    else if (underMouse() && isEnabled())
        p.fillRect(r.adjusted(1, 1, -1, -1), palette().color(QPalette::Window).lighter(104));

    p.setPen(m_lineColor.isValid() ? m_lineColor : palette().color(QPalette::Dark));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));

    const QRect textRect = isDown() ? r.translated(1, 1) : r;
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());
}

} // namespace sqda
