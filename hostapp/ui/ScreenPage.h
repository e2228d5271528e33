// One tab: the parent control that receives a library form. Its size is passed
// on to the form, and to the form's main panel through the resize message 0x402.
#pragma once

#include <QWidget>

namespace kalmora {

class ScreenPage : public QWidget
{
    Q_OBJECT
public:
    explicit ScreenPage(QWidget *parent = nullptr);

    // The embedded form still open (not closed, not yet destroyed), or null.
    QWidget *openForm() const;
    // Gives every embedded form the page's size.
    void fitForms();
    // Asks the open form to close, as its own exit button would.
    void closeForm();

protected:
    void resizeEvent(QResizeEvent *e) override;
};

} // namespace kalmora
