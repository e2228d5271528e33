// The drop-down list of the choice dialog: the platform's combo box with its
// frame drawn over as a one-pixel border in the dialog's line colour.
#pragma once

#include <QColor>
#include <QComboBox>

namespace sqda {

class FlatComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit FlatComboBox(QWidget *parent = nullptr);

    QColor lineColor() const { return m_lineColor; }
    void setLineColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *e) override;
    // The style paints with the shared palette of the box's colours, so a new
    // box finds the frame the style painted for the last one.
    void initStyleOption(QStyleOptionComboBox *option) const override;

private:
    QColor m_lineColor;
};

} // namespace sqda
