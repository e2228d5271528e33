#include "PageSetupDialog.h"

#include "host/AccessibleNames.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"
#include "ui/FlatButton.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sqda::report {

const std::vector<PaperSize> &paperSizes()
{
    static const std::vector<PaperSize> sizes = {
        { "A4 (210 × 297 mm)", 9, 2100, 2970 },
        { "A3 (297 × 420 mm)", 8, 2970, 4200 },
        { "A5 (148 × 210 mm)", 11, 1480, 2100 },
        { "B5 (182 × 257 mm)", 13, 1820, 2570 },
        { "Letter (216 × 279 mm)", 1, 2159, 2794 },
        { "Legal (216 × 356 mm)", 5, 2159, 3556 },
    };
    return sizes;
}

PageSetupDialog::PageSetupDialog(const PageSetup &page, QWidget *parent)
    : QDialog(parent)
    , m_page(page)
{
    setWindowTitle(QStringLiteral("页面设置"));
    setFont(songTi9());
    // The preview's flat look: its light blue-grey and line colour.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xEE, 0xF3, 0xFA));
    setPalette(pal);
    auto *root = new QVBoxLayout(this);

    auto *paperBox = new QGroupBox(QStringLiteral("纸张"), this);
    auto *paperForm = new QFormLayout(paperBox);
    m_paper = new QComboBox(paperBox);
    m_paper->setObjectName(QStringLiteral("paper"));
    int current = -1;
    for (const PaperSize &p : paperSizes()) {
        if (p.width == page.paperWidth && p.height == page.paperHeight)
            current = m_paper->count();
        m_paper->addItem(QString::fromUtf8(p.name), p.code);
    }
    if (current < 0) {
        // A paper the list does not know stays selectable as it is.
        m_paper->addItem(QStringLiteral("自定义 (%1 × %2 mm)").arg(page.paperWidth / 10.0).arg(page.paperHeight / 10.0),
            page.paperSize);
        current = m_paper->count() - 1;
    }
    m_paper->setCurrentIndex(current);
    paperForm->addRow(QStringLiteral("大小:"), m_paper);
    root->addWidget(paperBox);

    auto *orientBox = new QGroupBox(QStringLiteral("方向"), this);
    auto *orientRow = new QHBoxLayout(orientBox);
    m_portrait = new QRadioButton(QStringLiteral("纵向"), orientBox);
    m_portrait->setObjectName(QStringLiteral("portrait"));
    m_landscape = new QRadioButton(QStringLiteral("横向"), orientBox);
    m_landscape->setObjectName(QStringLiteral("landscape"));
    (page.orientation == Orientation::Landscape ? m_landscape : m_portrait)->setChecked(true);
    orientRow->addWidget(m_portrait);
    orientRow->addWidget(m_landscape);
    root->addWidget(orientBox);

    auto *marginBox = new QGroupBox(QStringLiteral("页边距 (毫米)"), this);
    auto *marginForm = new QFormLayout(marginBox);
    const int units[4] = { page.leftMargin, page.topMargin, page.rightMargin, page.bottomMargin };
    const char *labels[4] = { "左:", "上:", "右:", "下:" };
    const char *names[4] = { "left", "top", "right", "bottom" };
    for (int i = 0; i < 4; ++i) {
        m_margins[i] = new QDoubleSpinBox(marginBox);
        m_margins[i]->setObjectName(QString::fromLatin1(names[i]));
        m_margins[i]->setRange(0, 200);
        m_margins[i]->setDecimals(2);
        m_margins[i]->setValue(unitsToMillimetres(units[i], page.logicalDpi));
        marginForm->addRow(QString::fromUtf8(labels[i]), m_margins[i]);
    }
    root->addWidget(marginBox);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new FlatButton(QStringLiteral("确定"), this);
    ok->setLineColor(QColor(0x7F, 0x9D, 0xB9));
    ok->setMinimumSize(64, 24);
    ok->setObjectName(QStringLiteral("ok"));
    auto *cancel = new FlatButton(QStringLiteral("取消"), this);
    cancel->setLineColor(QColor(0x7F, 0x9D, 0xB9));
    cancel->setMinimumSize(64, 24);
    cancel->setObjectName(QStringLiteral("cancel"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    root->addLayout(buttons);
    connect(ok, &FlatButton::clicked, this, &PageSetupDialog::accept);
    connect(cancel, &FlatButton::clicked, this, &PageSetupDialog::reject);
    nameControls(this);
}

PageSetup PageSetupDialog::page() const
{
    PageSetup p = m_page;
    const int i = m_paper->currentIndex();
    if (i >= 0 && size_t(i) < paperSizes().size()) {
        const PaperSize &size = paperSizes()[size_t(i)];
        p.paperSize = size.code;
        p.paperWidth = size.width;
        p.paperHeight = size.height;
    }
    p.orientation = m_landscape->isChecked() ? Orientation::Landscape : Orientation::Portrait;
    p.setMarginsMillimetres(m_margins[0]->value(), m_margins[1]->value(), m_margins[2]->value(), m_margins[3]->value());
    return p;
}

void PageSetupDialog::accept()
{
    if (const Status ok = page().validate(); !ok) {
        showMessageBox(this, QMessageBox::Warning, QStringLiteral("提示"), ok.error());
        return; // the dialog may have gone with its owner meanwhile
    }
    QDialog::accept();
}

} // namespace sqda::report
