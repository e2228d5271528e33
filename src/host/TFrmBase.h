// The base of both embedded screens.
//
// A borderless widget living inside the host's parent control. Every control of
// a screen lies on PanelMain, which the host sizes with the resize message
// (0x402). Closing the form tells the host control (0x404) and frees the form
// once control is back in the event loop. Destroying the parent control destroys
// the form without any notification.
#pragma once

#include "ScreenInput.h"

#include <QFrame>
#include <QWidget>

#include <functional>

namespace sqda {

class TFrmBase : public QWidget
{
    Q_OBJECT
public:
    explicit TFrmBase(QWidget *parentControl);
    ~TFrmBase() override;

    QFrame *PanelMain;

    // True while one of this screen's host calls is in flight. A host may
    // process events during a call (a COM host does); the screen then takes no
    // user action, and a close request waits until the call has returned.
    bool hostCallInFlight() const { return m_hostGate->inFlight(); }

protected:
    // The base creation step: the library's owner window becomes AppWindow.
    void FormCreate();
    // The base close handling: notify the host control, then free the form.
    void FormClose();

    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;

    // Hooks for the screens. formShow runs on the first show only.
    virtual void formShow() { }
    virtual void formClosing() { }

    void HostResizeMessage(qintptr height, qintptr width);

    // Runs one host call with the screen closed to user actions. The host may
    // destroy the screen meanwhile: callers check a QPointer to themselves
    // before touching anything afterwards.
    template<typename Call> auto callHost(Call &&call) { return m_hostGate->run(std::forward<Call>(call)); }
    // Runs a user action unless a host call is in flight; false when the
    // screen was destroyed during it (see HostCallGate).
    bool userAction(const std::function<void()> &action) { return m_hostGate->userAction(action); }
    // For the parts beside a screen that make its host calls (its menus).
    HostCallGate *hostGate() const { return m_hostGate; }

private:
    HostCallGate *m_hostGate; // a child: goes with the screen
    bool m_shown = false;
    bool m_closed = false;
};

} // namespace sqda
