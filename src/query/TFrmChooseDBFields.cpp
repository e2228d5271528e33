#include "TFrmChooseDBFields.h"

#include "QueryButton.h"

#include "host/AccessibleNames.h"
#include "host/HostContext.h"
#include "host/LibraryWindows.h"
#include "host/ScreenFonts.h"
#include "host/ShowHostError.h"
#include "ui/DialogState.h"

#include <QFrame>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>

#include <exception>

namespace sqda {

namespace {

constexpr int ColumnRole = Qt::UserRole + 1;

} // namespace

TFrmChooseDBFields::TFrmChooseDBFields(QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    ensureLibraryInitialized();
    setObjectName(QStringLiteral("FrmChooseDBFields"));
    setWindowTitle(QStringLiteral("选择项目"));
    // In pixels, as the dialog's fixed layout: 64 × 23 buttons hold their
    // captions at any screen resolution.
    setFont(songTi9());
    setFixedSize(312, 204);
    const QColor back = colorFromBgr(DefaultDialogBackColor);
    const QColor green = colorFromBgr(DefaultDialogLineColor);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, back);
    pal.setColor(QPalette::Base, back);
    setPalette(pal);

    ltvChoose = new QListWidget(this);
    ltvChoose->setObjectName(QStringLiteral("ltvChoose"));
    ltvChoose->setGeometry(0, 0, 312, 169);
    ltvChoose->setFrameShape(QFrame::NoFrame);
    // List style: entries flow down, then into the next column.
    ltvChoose->setFlow(QListView::TopToBottom);
    ltvChoose->setWrapping(true);
    ltvChoose->setResizeMode(QListView::Adjust);
    ltvChoose->setPalette(pal);

    Shape = new QFrame(this);
    Shape->setObjectName(QStringLiteral("Shape"));
    Shape->setGeometry(0, 169, 312, 1);
    Shape->setAutoFillBackground(true);
    QPalette line = Shape->palette();
    line.setColor(QPalette::Window, green);
    Shape->setPalette(line);

    auto button = [&](const QString &caption, int x, const char *name) {
        auto *b = new QueryButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, 176, 64, 23);
        b->setLineColor(green);
        b->setDownColor(Qt::white);
        return b;
    };
    btnAll = button(QStringLiteral("全  选(&A)"), 24, "btnAll");
    btnno = button(QStringLiteral("全不选(&N)"), 93, "btnno");
    btnok = button(QStringLiteral("确  定(&O)"), 162, "btnok");
    btncancel = button(QStringLiteral("取  消(&C)"), 232, "btncancel");

    connect(btnAll, &QueryButton::clicked, this, [this] { btnAllClick(); });
    connect(btnno, &QueryButton::clicked, this, [this] { btnNoClick(); });
    connect(btnok, &QueryButton::clicked, this, [this] { btnOKClick(); });
    connect(btncancel, &QueryButton::clicked, this, &QDialog::reject);
}

TFrmChooseDBFields::~TFrmChooseDBFields() = default;

void TFrmChooseDBFields::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    FormShow();
    nameControls(this);
    if (const QScreen *s = screen())
        move(s->geometry().center() - frameGeometry().center() + pos());
}

void TFrmChooseDBFields::FormShow()
{
    ltvChoose->clear();
    if (!Grid)
        return;
    // Columns with a Tag (the always hidden ones) are neither offered nor touched.
    for (int c = 0; c < Grid->columnCount(); ++c) {
        if (Grid->columnTag(c) != 0)
            continue;
        auto *item = new QListWidgetItem(Grid->columnTitle(c), ltvChoose);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Grid->columnVisible(c) ? Qt::Checked : Qt::Unchecked);
        item->setData(ColumnRole, c);
    }
    if (ltvChoose->count() > 0)
        ltvChoose->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    ltvChoose->setFocus(Qt::OtherFocusReason);
}

void TFrmChooseDBFields::btnAllClick()
{
    for (int i = 0; i < ltvChoose->count(); ++i)
        ltvChoose->item(i)->setCheckState(Qt::Checked);
}

void TFrmChooseDBFields::btnNoClick()
{
    for (int i = 0; i < ltvChoose->count(); ++i)
        ltvChoose->item(i)->setCheckState(Qt::Unchecked);
}

void TFrmChooseDBFields::btnOKClick()
{
    try {
        if (!Grid) {
            accept();
            return;
        }
        int ticked = 0;
        for (int i = 0; i < ltvChoose->count(); ++i)
            ticked += ltvChoose->item(i)->checkState() == Qt::Checked ? 1 : 0;
        if (ticked <= Grid->frozenColumnCount()) {
            showMessageBox(
                this, QMessageBox::Warning, QStringLiteral("警告"), QStringLiteral("所选列数必须大于固定列数!"));
            return; // stays open for more ticks
        }
        for (int i = 0; i < ltvChoose->count(); ++i) {
            const QListWidgetItem *item = ltvChoose->item(i);
            Grid->setColumnVisible(item->data(ColumnRole).toInt(), item->checkState() == Qt::Checked);
        }
    } catch (const std::exception &e) {
        const QPointer<TFrmChooseDBFields> self(this);
        showHostErrorText(this, QString::fromUtf8(e.what()));
        if (!self)
            return; // went with its owner while the box was up
    }
    accept();
}

} // namespace sqda
