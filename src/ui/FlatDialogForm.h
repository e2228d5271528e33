// The form under every themed dialog: a fixed dialog frame on the dialog
// background colour, flat buttons that close it with their result, and the keys
// every themed dialog shares (Enter gives 1, Esc gives 2, whatever buttons show).
#pragma once

#include "DialogState.h"

#include <QDialog>

#include <functional>
#include <memory>

class QKeyEvent;

namespace sqda {

class FlatButton;

class FlatDialogForm : public QDialog
{
    Q_OBJECT
public:
    explicit FlatDialogForm(QWidget *owner);

    void setBackColor(TColor color);
    // Fixed dialog frame: caption bar with a close box, no resizing.
    void setFixedClientSize(const QSize &client);
    // Centres the window on the screen of the library's owner window.
    void centreOnScreen();
    QRect screenRect() const;

    FlatButton *addFlatButton(const QString &caption, int result, const QRect &geometry, const QColor &lineColor);

    // Enter (key code 13) closes with 1, Esc (27) with 2. True when the key was one of them.
    bool FlatDialogKeyDown(const QKeyEvent *e);
    // The button's result closes the dialog; 0 (Help) leaves it open.
    void FlatDialogButtonClick(FlatButton *button);
    // The control's keys pass through FlatDialogKeyDown first.
    void handleKeysOf(QWidget *control);

    // Runs once the dialog is shown, after the dialog's own focus handling.
    std::function<void()> onShow;

    void setVisible(bool visible) override;

    // Shows the dialog modally and returns its result. A dialog destroyed
    // meanwhile (its owner window went away) counts as cancelled and is not
    // freed a second time.
    static int execOwned(std::unique_ptr<QDialog> &dialog);

public Q_SLOTS:
    // The close box (and anything else that rejects) gives result 2.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    bool m_centred = false;
};

} // namespace sqda
