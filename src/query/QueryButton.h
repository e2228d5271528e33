// The flat buttons of the condition builder and the column chooser. Unlike the
// message dialogs' buttons these sit in a tab order: they take the focus, show
// it, and Enter or Space presses the focused one. A button may carry a picture
// instead of a caption, and a colour of its own while pressed.
#pragma once

#include "ui/FlatButton.h"

#include <QIcon>

namespace sqda {

class QueryButton : public FlatButton
{
    Q_OBJECT
public:
    explicit QueryButton(const QString &caption, QWidget *parent = nullptr);

    // Handlers shared by several buttons tell them apart by this.
    int Tag = 0;

    // Background while pressed; invalid: a shade darker than the window.
    void setDownColor(const QColor &color) { m_downColor = color; }
    QColor downColor() const { return m_downColor; }

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    QColor m_downColor;
};

// The picture of the button that drops a change: a red cross, drawn here.
QIcon dropChangeIcon();

} // namespace sqda
