#include "TMessageForm.h"

#include "DialogColorSettings.h"
#include "FlatButton.h"

#include "host/LibraryWindows.h"

#include <QApplication>
#include <QKeyEvent>

namespace sqda {

TMessageForm::TMessageForm(QWidget *owner)
    : FlatDialogForm(owner)
{
    loadDialogBackColor();
    // The platform's message-box font, its Chinese in the screens' face.
    setFont(withChineseFace(QApplication::font("QMessageBox")));
}

FlatButton *TMessageForm::buttonForAccessLetter(QChar letter) const
{
    if (letter.isNull())
        return nullptr;
    const QChar wanted = letter.toUpper();
    // Children are kept in creation order, which is the buttons' bit order.
    for (QObject *child : children()) {
        auto *button = qobject_cast<FlatButton *>(child);
        if (button && button->isEnabled() && FlatButton::accessLetter(button->text()).toUpper() == wanted)
            return button;
    }
    return nullptr;
}

void TMessageForm::keyPressEvent(QKeyEvent *e)
{
    if (FlatDialogKeyDown(e))
        return;
    // A button's letter presses it, with or without Alt; Ctrl combinations are no letters.
    const Qt::KeyboardModifiers mods = e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (mods == Qt::NoModifier || mods == Qt::AltModifier) {
        QChar letter;
        if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
            letter = QChar(e->key());
        else if (!e->text().isEmpty())
            letter = e->text().at(0);
        if (FlatButton *button = buttonForAccessLetter(letter)) {
            button->click();
            return;
        }
    }
    e->ignore();
}

} // namespace sqda
