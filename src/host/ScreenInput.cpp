#include "ScreenInput.h"

#include <QApplication>
#include <QWidget>

namespace sqda {

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

KeyPreview::KeyPreview(Handler f, QObject *parent)
    : QObject(parent)
    , m_f(std::move(f))
{
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    return m_f(watched, event);
}

InputBlock::InputBlock(QWidget *screen)
    : QObject(screen)
    , m_screen(screen)
{
}

bool InputBlock::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
        auto *w = qobject_cast<QWidget *>(watched);
        return w && (w == m_screen || m_screen->isAncestorOf(w));
    }
    default:
        return false;
    }
}

} // namespace sqda
