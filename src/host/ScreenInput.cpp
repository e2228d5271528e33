#include "ScreenInput.h"

#include "HostGuard.h"

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

void removeKeyPreview(QPointer<QObject> &preview)
{
    if (!preview)
        return;
    qApp->removeEventFilter(preview);
    preview->setParent(nullptr);
    preview->deleteLater();
    preview = nullptr;
}

HostCallGate::HostCallGate(QWidget *screen, QWidget *controls)
    : QObject(screen)
    , m_screen(screen)
    , m_controls(controls)
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

bool HostCallGate::userAction(const std::function<void()> &action)
{
    if (inFlight())
        return true;
    const QPointer<HostCallGate> self(this);
    const QPointer<QWidget> controls(m_controls);
    const bool outermost = m_actions == 0;
    ++m_actions;
    runGuarded(action);
    if (self) {
        --m_actions;
        return true;
    }
    // Destroyed inside the action; screenDestroyed() kept the controls for now.
    if (outermost && controls)
        controls->deleteLater();
    return false;
}

void HostCallGate::screenDestroyed()
{
    unblockInput();
    if (m_actions == 0 && !inFlight())
        return; // the controls go with the screen
    m_controls->hide();
    m_controls->setParent(nullptr);
    // Inside an action, the outermost action frees them once it has returned
    // (userAction); a call made outside any action is over with the event that
    // made it.
    if (m_actions == 0)
        m_controls->deleteLater();
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
