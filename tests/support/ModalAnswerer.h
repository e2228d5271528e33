// Answers modal dialogs in GUI tests the way a user would.
//
// Queue answers before the action that opens the dialogs; each answer is applied
// to the active modal widget when one is up, in order. What every answered
// dialog showed is kept in `seen`. A modal that appears with no answer queued is
// recorded in `unexpected` and rejected, so a test never hangs on it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

namespace sqda::test {

struct SeenDialog
{
    QString className;
    QString title;
    QString text; // a message box's text, the "Message" label, or all labels joined
    QStringList buttons; // button texts without '&'
    int icon = -1; // QMessageBox::Icon for message boxes
    // The resolved family (QFontInfo) of the window's font, when its labels
    // and buttons share it; else "mixed: " and each child's family.
    QString face;
};

class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    using Action = std::function<void(QWidget *modal)>;

    ModalAnswerer();
    ~ModalAnswerer() override;

    // Press the button whose object name, text (without '&') or standard-button
    // name ("Ok", "Yes", "No", "Cancel") is `button`.
    ModalAnswerer &press(const QString &button);
    // Type into the dialog's first line edit (replacing its text), then press.
    ModalAnswerer &typeAndPress(const QString &text, const QString &button);
    // Send a key to the dialog's focus widget (or the dialog).
    ModalAnswerer &key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier);
    // Anything else.
    ModalAnswerer &then(Action action);
    // Drives a modal window with `action` run from the window's own event loop,
    // not from the answerer's timer, so the dialogs the action opens are
    // answered from the queue (a timer does not fire while its own handler
    // runs). The driven window is left alone while it is up; the action closes it.
    ModalAnswerer &drive(Action action);

    bool idle() const { return m_queue.empty(); }
    QList<SeenDialog> seen;
    QList<SeenDialog> unexpected;

    static SeenDialog describe(QWidget *modal);
    static bool pressButton(QWidget *modal, const QString &button);

private:
    void poll();

    std::deque<Action> m_queue;
    QTimer m_timer;
    QPointer<QWidget> m_lastRejected;
    QList<QPointer<QWidget>> m_driven;
};

} // namespace sqda::test
