// Small pieces a screen uses around its user actions and host calls: the
// hourglass, a look at every key before the focused control gets it, and a
// block on the user's input while a host call is in flight.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace sqda {

// The hourglass for the duration of a scope, given back however the scope ends.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// An application event filter that hands every event to a function; the
// function answers whether the event is consumed.
class KeyPreview : public QObject
{
public:
    using Handler = std::function<bool(QObject *, QEvent *)>;
    explicit KeyPreview(Handler f, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Handler m_f;
};

// Swallows the user's input to one screen: clicks, keys, the wheel, shortcuts.
// Releases pass, so a press taken before the block does not leave a control
// held down; what a release would start is refused by the screen's handlers.
// Installed on the application while one of the screen's host calls runs.
class InputBlock : public QObject
{
public:
    explicit InputBlock(QWidget *screen); // a child of the screen

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_screen; // the parent: outlives this filter
};

// Takes a key preview off the application and frees it once the event being
// handled is over: it may be the filter whose key is being handled right now.
void removeKeyPreview(QPointer<QObject> &preview);

// The gate a screen's user actions and host calls pass through; both screens
// have one (TFrmBase). A host may process events during a call (a COM host
// does): while one is in flight the screen takes no user input and starts no
// action, and a close asked for meanwhile is carried out once, after the
// outermost call has returned and the action that made it has finished.
//
// The host may destroy the screen at any moment: during a call, or while one
// of the screen's dialogs or message boxes is up. The screen's controls then
// outlive it until the outermost action has returned, or, for a call made
// outside any action, until the event that made it is over: one of them may be
// in the middle of the event that started it (a tool button's click, a key, a
// focus change), and a dialog's event loop would free them too early. The gate,
// a child of the screen, goes with it and is not touched afterwards.
class HostCallGate : public QObject
{
public:
    // A child of the screen; `controls` is the screen's panel holding every control.
    HostCallGate(QWidget *screen, QWidget *controls);
    ~HostCallGate() override;

    bool inFlight() const { return m_calls > 0; }

    // Runs one host call with the screen closed to input.
    template<typename Call> auto run(Call &&call)
    {
        const Scope scope(this);
        return call();
    }

    // Runs one user action of the screen, any exception shown (runGuarded);
    // refused while a host call is in flight. False when the screen was
    // destroyed during the action: the caller then touches nothing of it.
    bool userAction(const std::function<void()> &action);

    // For the screen's close handler: true when a call is in flight, and the
    // close is then remembered for afterwards.
    bool holdClose();

    // For the screen's destructor: takes the input block off the application,
    // so no event reaches the half-destroyed screen before its children go, and
    // keeps the controls while one of its actions or calls still runs.
    void screenDestroyed();

private:
    // One call in flight; the outermost scope blocks and releases the input.
    class Scope
    {
    public:
        explicit Scope(HostCallGate *gate);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        QPointer<HostCallGate> m_gate;
    };

    void enter();
    void leave();
    void unblockInput();

    QWidget *m_screen; // the parent: outlives this gate
    QWidget *m_controls; // a child of the screen until screenDestroyed()
    InputBlock *m_inputBlock; // a child of the screen
    int m_calls = 0;
    int m_actions = 0; // user actions running, nested ones included
    bool m_closePending = false;
};

} // namespace sqda
