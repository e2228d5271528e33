// The base of both embedded screens.
//
// A borderless widget living inside the host's parent control. Every control of
// a screen lies on PanelMain, which the host sizes with the resize message
// (0x402). Closing the form tells the host control (0x404) and frees the form
// once control is back in the event loop. Destroying the parent control destroys
// the form without any notification.
#pragma once

#include <QFrame>
#include <QWidget>

namespace sqda {

class TFrmBase : public QWidget
{
    Q_OBJECT
public:
    explicit TFrmBase(QWidget *parentControl);

    QFrame *PanelMain;

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

private:
    bool m_shown = false;
    bool m_closed = false;
};

} // namespace sqda
