#include "ImportCheckDialog.h"

#include "ImportRowsModel.h"

#include "host/AccessibleNames.h"
#include "host/ScreenFonts.h"
#include "ui/DialogState.h"
#include "ui/FlatButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace sqda {

namespace {

// The themed dialogs' colours and face.
void theme(QDialog *dialog)
{
    dialog->setFont(songTi9());
    dialog->setAutoFillBackground(true);
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, colorFromBgr(dialogState().DialogBackColor));
    dialog->setPalette(pal);
}

FlatButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new FlatButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setLineColor(colorFromBgr(dialogState().DialogLineColor));
    b->setMinimumSize(88, 25);
    return b;
}

QTableView *rowsView(QWidget *parent, QAbstractItemModel *model, const QList<int> &widths)
{
    auto *view = new QTableView(parent);
    view->setObjectName(QStringLiteral("rows"));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    // Fixed heights, set before the rows come: nothing is measured or laid out
    // row by row, so a large file shows at once.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(QFontMetrics(view->font()).height() + 6);
    view->setModel(model);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (int c = 0; c < widths.size(); ++c)
        view->setColumnWidth(c, widths[c]);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

ImportCheckDialog::ImportCheckDialog(const AreaImportPlan &plan, const QString &fileName, QWidget *parent)
    : QDialog(parent)
    , m_plan(plan)
{
    setObjectName(QStringLiteral("ImportCheckDialog"));
    setWindowTitle(QStringLiteral("导入商圈 - 检查"));
    theme(this);
    resize(720, 480);

    auto *heading = new QLabel(QStringLiteral("文件“%1”的检查结果（尚未存入任何数据）：").arg(fileName), this);
    heading->setObjectName(QStringLiteral("heading"));
    m_model = new ImportRowsModel(
        int(plan.size()),
        { QStringLiteral("行号"), QStringLiteral("商圈编码"), QStringLiteral("商圈名称"), QStringLiteral("检查结果") },
        [this](int row, int column) -> QString {
            const PlanRow r = m_plan.row(size_t(row));
            switch (column) {
            case 0:
                return QString::number(r.line);
            case 1:
                return r.code.toString();
            case 2:
                return r.name.toString();
            default:
                return AreaImportPlan::verdictText(r, m_rename && m_rename->isChecked());
            }
        },
        this);
    m_view = rowsView(this, m_model, { 50, 110, 220 });
    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("counts"));
    m_rename = new QCheckBox(QStringLiteral("更新已有商圈的名称"), this);
    m_rename->setObjectName(QStringLiteral("updateNames"));
    m_start = button(this, "start", QStringLiteral("开始导入"));
    FlatButton *cancel = button(this, "cancel", QStringLiteral("取消"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_rename);
    buttons->addStretch(1);
    buttons->addWidget(m_start);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_counts);
    layout->addLayout(buttons);

    connect(m_rename, &QCheckBox::toggled, this, [this] {
        m_model->refresh();
        updateCounts();
    });
    connect(m_start, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    updateCounts();
    nameControls(this);
}

bool ImportCheckDialog::updateNames() const
{
    return m_rename->isChecked();
}

void ImportCheckDialog::updateCounts()
{
    const int added = m_plan.count(PlanRow::New), same = m_plan.count(PlanRow::Same);
    const int other = m_plan.count(PlanRow::OtherName), refused = m_plan.count(PlanRow::Refused);
    const bool rename = updateNames();
    m_counts->setText(QStringLiteral("共%1行：新增%2，改名%3，跳过%4，拒绝%5。")
                          .arg(m_plan.size())
                          .arg(added)
                          .arg(rename ? other : 0)
                          .arg(same + (rename ? 0 : other))
                          .arg(refused));
    m_start->setEnabled(added > 0 || (rename && other > 0));
}

ImportSummaryDialog::ImportSummaryDialog(
    std::vector<QStringList> rows, const QString &heading, SaveCsv save, QWidget *parent)
    : QDialog(parent)
    , m_rows(std::move(rows))
{
    setObjectName(QStringLiteral("ImportSummaryDialog"));
    setWindowTitle(QStringLiteral("导入商圈 - 结果"));
    theme(this);
    resize(720, 480);
    auto *label = new QLabel(heading, this);
    label->setObjectName(QStringLiteral("heading"));
    label->setWordWrap(true);
    auto *model = new ImportRowsModel(
        int(m_rows.size()),
        { QStringLiteral("行号"), QStringLiteral("商圈编码"), QStringLiteral("商圈名称"), QStringLiteral("结果"),
            QStringLiteral("说明") },
        [this](int row, int column) { return m_rows[size_t(row)].value(column); }, this);
    m_view = rowsView(this, model, { 50, 110, 200, 60 });
    FlatButton *saveButton = button(this, "saveCsv", QStringLiteral("保存为CSV…"));
    FlatButton *close = button(this, "close", QStringLiteral("关闭"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    connect(saveButton, &QAbstractButton::clicked, this, [this, save] {
        if (save)
            save(this);
    });
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);
    nameControls(this);
}

} // namespace sqda
