// The message dialog's form. Building one stores the settings' "backcolor" into
// DialogBackColor and takes the platform's message-box font; the dialog window
// itself receives the keys, since no button takes the focus.
#pragma once

#include "FlatDialogForm.h"

namespace sqda {

class TMessageForm : public FlatDialogForm
{
    Q_OBJECT
public:
    explicit TMessageForm(QWidget *owner);

    int HelpContext = 0; // kept for the caller; nothing reads it

    // The first button, in bit order, whose access letter is `letter` (any case).
    FlatButton *buttonForAccessLetter(QChar letter) const;

protected:
    void keyPressEvent(QKeyEvent *e) override;
};

} // namespace sqda
