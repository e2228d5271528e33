#include "TAdvDBGridEh.h"

#include "TFrmQuerySet.h"

#include "data/DataError.h"
#include "env/NumberText.h"
#include "env/Utilities.h"
#include "host/HostGuard.h"
#include "host/ShowHostError.h"
#include "ui/FlatDialog.h"

#include <QPointer>

namespace sqda {

namespace {

const QString kCustomIndex = QStringLiteral("customindex");
const QString kCrLf = QStringLiteral("\r\n");

// "dir" → "dir/"; empty stays the host program's folder.
QString layoutDirectory(const QString &directory)
{
    if (directory.isEmpty())
        return QStringLiteral("\\");
    if (directory.endsWith(QLatin1Char('\\')) || directory.endsWith(QLatin1Char('/')))
        return directory;
    return directory + QLatin1Char('/');
}

void appendRows(QString &text, const LogicRows &rows)
{
    for (int i = 0; i < rows.size(); ++i) {
        const LogicRow &row = rows.at(i);
        if (i % 2 == 0)
            text += QStringLiteral("    ") + row.label + QLatin1Char(':') + row.condition + row.value;
        else
            text += row.relation + kCrLf;
    }
}

} // namespace

TAdvDBGridEh::TAdvDBGridEh(QWidget *parent)
    : DBGridEh(parent)
{
}

QString TAdvDBGridEh::columnTitle(int column) const
{
    const GridColumn &c = gridColumn(column);
    if (!c.title.isEmpty())
        return c.title;
    const Field *f = dataSet() ? dataSet()->findField(c.fieldName) : nullptr;
    return f ? f->displayLabel() : c.fieldName;
}

void TAdvDBGridEh::sortMarksChanged()
{
    if (AutoSorted)
        runGuarded([this] { ApplySort(); });
    else
        DBGridEh::sortMarksChanged();
}

void TAdvDBGridEh::dataLinkAboutToChange()
{
    // New rows arrive in the order they were loaded in: with the marks gone, an
    // order the user no longer sees marked would only mislead. Dropped before
    // the rows come, so the dataset does not sort them for nothing.
    ClientDataSet *ds = dataSet();
    if (ds && ds->indexName().compare(kCustomIndex, Qt::CaseInsensitive) == 0)
        runGuarded([ds] { ds->setIndexName({}); });
}

void TAdvDBGridEh::dataLinkChanged()
{
    DBGridEh::dataLinkChanged();
    ClearSortMarks();
    if (ShowSumCount)
        UpdateCountFooter();
}

void TAdvDBGridEh::ApplySort()
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->isActive() || ds->isEmpty() || sortMarkedColumns().empty())
        return;
    QString fields;
    QString descending;
    for (int gc : sortMarkedColumns()) {
        const GridColumn &c = gridColumn(gc);
        fields += c.fieldName + QLatin1Char(';');
        if (c.sortMark != SortMark::Up)
            descending += c.fieldName + QLatin1Char(';');
    }
    fields.chop(1);
    if (!descending.isEmpty())
        descending.chop(1);
    // One index, replaced on every sort, so repeated sorts never pile up indexes.
    // When it is the current one, replacing its definition re-sorts the rows
    // once; deleting it first would put them back in store order in between,
    // a second reordering of every row for every view on them.
    ds->updateIndexDefs();
    const bool current = ds->indexName().compare(kCustomIndex, Qt::CaseInsensitive) == 0;
    if (!current && ds->indexDefs().find(kCustomIndex))
        ds->deleteIndex(kCustomIndex);
    ds->addIndex(kCustomIndex, fields, IndexOption::CaseInsensitive, descending);
    if (!current)
        ds->setIndexName(kCustomIndex);
}

void TAdvDBGridEh::ClearSortMarks()
{
    clearSortMarkState();
}

void TAdvDBGridEh::UpdateCountFooter()
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->isActive())
        return;
    const int n = ds->recordCount();
    for (int i = 0; i < gridColumnCount(); ++i) {
        GridColumn &c = editColumn(i);
        if (c.footerKind == FooterKind::StaticText && c.footerText.contains(QStringLiteral("合计")))
            c.footerText.clear();
    }
    const int first = firstVisibleColumn();
    if (first >= 0) {
        GridColumn &c = editColumn(first);
        if (c.footerKind == FooterKind::Nothing || c.footerKind == FooterKind::StaticText) {
            c.footerKind = FooterKind::StaticText;
            c.footerText = QStringLiteral("合计:") + QString::number(n) + QStringLiteral("条");
        }
    }
    columnsChanged();
}

bool TAdvDBGridEh::ShowQueryDialog(QString &whereText, const QString &caption, const QString &aliasList,
    const QString &helpText, const QString &fieldMap)
{
    whereText.clear();
    auto form = TFrmQuerySet::CreateForQuery(caption, aliasList, helpText, &QueryConditions, fieldMap);
    form->setDataSet(dataSet());
    const QPointer<TAdvDBGridEh> self(this);
    // The dialog belongs to the owner window; the grid may go while it is up.
    if (TFrmQuerySet::execOwned(form) != ResultOK || !self)
        return false;
    QueryConditions = form->rows();
    whereText = form->WhereText.trimmed();
    return true;
}

bool TAdvDBGridEh::ShowFilterDialog(const QString &caption, bool visibleOnly)
{
    std::unique_ptr<TFrmQuerySet> form;
    try {
        form = TFrmQuerySet::CreateForFilter(caption, &FilterConditions, visibleOnly);
        form->setDataSet(dataSet());
        const QPointer<TAdvDBGridEh> self(this);
        if (TFrmQuerySet::execOwned(form) != ResultOK || !self)
            return false;
        const LogicRows rows = form->rows();
        // FilterText writes "部分不等于" as NOT LIKE, which the dataset evaluates
        // itself: right for several such conditions, under "或者", and for rows
        // loaded by later searches, where a list of excluded values is not.
        const QString filter = form->FilterText.trimmed();
        form.reset();
        if (ClientDataSet *ds = dataSet()) {
            // A filter the dataset refuses raises before anything changed: the
            // previous filter stays in force, and so do its conditions.
            ds->setFilter(filter);
            ds->setFiltered(true);
        }
        FilterConditions = rows;
        if (ShowSumCount)
            UpdateCountFooter();
        return true;
    } catch (const std::exception &e) {
        form.reset();
        showHostErrorText(this, QString::fromUtf8(e.what()));
        return false;
    }
}

QString TAdvDBGridEh::ConditionText(const QString &extraText) const
{
    QString text;
    if (!QueryConditions.isEmpty()) {
        text += QStringLiteral("查询条件:") + kCrLf;
        if (!extraText.isEmpty())
            text += QStringLiteral("    ") + extraText + QStringLiteral("并且") + kCrLf;
        appendRows(text, QueryConditions);
        text += kCrLf;
    } else if (!extraText.isEmpty()) {
        text += QStringLiteral("查询条件:") + kCrLf + QStringLiteral("    ") + extraText + kCrLf;
    }
    if (!FilterConditions.isEmpty()) {
        text += QStringLiteral("过滤条件:") + kCrLf;
        appendRows(text, FilterConditions);
    }
    return text;
}

void TAdvDBGridEh::LoadColumnLayout(const QString &fileName, const QString &section, const QString &directory)
{
    const QString dir = layoutDirectory(directory);
    for (int i = 0; i < gridColumnCount(); ++i) {
        GridColumn &c = editColumn(i);
        const QString value = ReadIniValue(fileName, section, c.fieldName, QStringLiteral("1,0"), dir);
        const qsizetype comma = value.indexOf(QLatin1Char(','));
        const QString flag = comma < 0 ? QString() : value.left(comma);
        const QString width = comma < 0 ? value : value.mid(comma + 1);
        c.visible = c.tag != 1 && flag == QLatin1String("1");
        if (IsInt64Text(width) && width != QLatin1String("0")) {
            const std::optional<qint64> w = parseInt64Text(width);
            if (w && *w >= 1 && *w <= MaxLayoutWidth)
                c.width = int(*w);
        }
    }
    columnsChanged();
}

void TAdvDBGridEh::SaveColumnLayout(const QString &fileName, const QString &section, const QString &directory)
{
    const QString dir = layoutDirectory(directory);
    for (int i = 0; i < gridColumnCount(); ++i) {
        const GridColumn &c = gridColumn(i);
        WriteIniValue(fileName, section, c.fieldName,
            QLatin1String(c.visible ? "1" : "0") + QLatin1Char(',') + QString::number(c.width), dir);
    }
}

void TAdvDBGridEh::ChooseColumns()
{
    // Owned by the grid, which may go while the chooser is up and take it along.
    QPointer<TFrmChooseDBFields> chooser = new TFrmChooseDBFields(this);
    chooser->Grid = this;
    chooser->exec();
    delete chooser.data();
}

} // namespace sqda
