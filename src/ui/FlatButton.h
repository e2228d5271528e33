// A flat push button of the themed dialogs: the window background shows through,
// a one-pixel border in the dialog's line colour, the caption centred with its
// access letter underlined. Like the graphic buttons it stands in for, it never
// takes the keyboard focus, so the keys reach the dialog or its edit.
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace sqda {

class FlatButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit FlatButton(const QString &caption, QWidget *parent = nullptr);

    QColor lineColor() const { return m_lineColor; }
    void setLineColor(const QColor &color);

    // The dialog result this button closes its dialog with (0 keeps it open).
    int ModalResult = 0;

    // The access letter of the caption (the character after a single '&'), or a null QChar.
    static QChar accessLetter(const QString &caption);

    QSize sizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    QColor m_lineColor;
};

} // namespace sqda
