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

HostCallGate::HostCallGate(QWidget *screen)
    : QObject(screen)
    , m_screen(screen)
    , m_inputBlock(new InputBlock(screen))
{
}

HostCallGate::~HostCallGate()
{
    unblockInput();
}

void HostCallGate::unblockInput()
{
    qApp->removeEventFilter(m_inputBlock);
}

bool HostCallGate::holdClose()
{
    if (!inFlight())
        return false;
    m_closePending = true;
    return true;
}

void HostCallGate::enter()
{
    if (m_calls++ == 0)
        qApp->installEventFilter(m_inputBlock);
}

void HostCallGate::leave()
{
    if (--m_calls > 0)
        return;
    qApp->removeEventFilter(m_inputBlock);
    if (m_closePending) {
        m_closePending = false;
        QWidget *screen = m_screen;
        QMetaObject::invokeMethod(
            screen, [screen] { screen->close(); }, Qt::QueuedConnection);
    }
}

HostCallGate::Scope::Scope(HostCallGate *gate)
    : m_gate(gate)
{
    gate->enter();
}

HostCallGate::Scope::~Scope()
{
    if (m_gate)
        m_gate->leave();
}

} // namespace sqda
