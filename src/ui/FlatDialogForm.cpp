#include "FlatDialogForm.h"

#include "FlatButton.h"
#include "FlatDialog.h"
#include "MessageLayout.h"

#include "host/AccessibleNames.h"
#include "host/HostContext.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>

namespace sqda {

FlatDialogForm::FlatDialogForm(QWidget *owner)
    : QDialog(owner,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setAutoFillBackground(true);
    setSizeGripEnabled(false);
}

void FlatDialogForm::setBackColor(TColor color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colorFromBgr(color));
    setPalette(pal);
}

void FlatDialogForm::setFixedClientSize(const QSize &client)
{
    setFixedSize(client);
}

QRect FlatDialogForm::screenRect() const
{
    QScreen *screen = nullptr;
    if (QWidget *owner = ownerWindow())
        screen = owner->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

void FlatDialogForm::centreOnScreen()
{
    move(centredOnScreen(screenRect(), frameGeometry().size()));
    m_centred = true;
}

FlatButton *FlatDialogForm::addFlatButton(
    const QString &caption, int result, const QRect &geometry, const QColor &lineColor)
{
    auto *button = new FlatButton(caption, this);
    button->ModalResult = result;
    button->setLineColor(lineColor);
    button->setGeometry(geometry);
    connect(button, &FlatButton::clicked, this, [this, button] { FlatDialogButtonClick(button); });
    return button;
}

bool FlatDialogForm::FlatDialogKeyDown(const QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        done(ResultOK);
        return true;
    case Qt::Key_Escape:
        done(ResultCancel);
        return true;
    default:
        return false;
    }
}

void FlatDialogForm::FlatDialogButtonClick(FlatButton *button)
{
    if (button->ModalResult != ResultNone)
        done(button->ModalResult);
}

void FlatDialogForm::handleKeysOf(QWidget *control)
{
    control->installEventFilter(this);
}

int FlatDialogForm::execOwned(std::unique_ptr<QDialog> &dialog)
{
    QPointer<QDialog> guard(dialog.get());
    const int result = dialog->exec();
    if (!guard) {
        (void)dialog.release();
        return ResultCancel;
    }
    return result;
}

void FlatDialogForm::reject()
{
    done(ResultCancel);
}

bool FlatDialogForm::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress && watched != this && FlatDialogKeyDown(static_cast<QKeyEvent *>(e)))
        return true;
    return QDialog::eventFilter(watched, e);
}

void FlatDialogForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    nameControls(this);
    // Once shown, the window frame is known: centre the whole window.
    if (m_centred && !e->spontaneous())
        centreOnScreen();
}

void FlatDialogForm::setVisible(bool visible)
{
    // QDialog hands its focus widget a tab-style focus-in as it shows, which
    // selects an edit's whole text; the show handler comes after that.
    QDialog::setVisible(visible);
    if (visible && onShow)
        onShow();
}

} // namespace sqda
