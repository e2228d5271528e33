#include "TAdvDBGridEh.h"

#include "TFrmQuerySet.h"

#include "data/DataError.h"
#include "data/TypeAhead.h"
#include "env/IniFile.h"
#include "env/NumberText.h"
#include "env/Utilities.h"
#include "host/HostGuard.h"
#include "host/ShowHostError.h"
#include "ui/FlatDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>

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
    // Only footer texts changed: a filter or a load is not slowed by laying
    // out every column and repainting the titles again.
    footerChanged();
}

bool TAdvDBGridEh::ShowQueryDialog(QString &whereText, const QString &caption, const QString &aliasList,
    const QString &helpText, const QString &fieldMap)
{
    whereText.clear();
    auto form = TFrmQuerySet::CreateForQuery(
        caption, aliasList, helpText, m_retryQuery ? &*m_retryQuery : &QueryConditions, fieldMap);
    form->setDataSet(dataSet());
    const QPointer<TAdvDBGridEh> self(this);
    // The dialog belongs to the owner window; the grid may go while it is up.
    if (TFrmQuerySet::execOwned(form) != ResultOK || !self)
        return false;
    m_listedQuery = QueryConditions;
    m_retryQuery.reset();
    QueryConditions = form->rows();
    whereText = form->WhereText.trimmed();
    return true;
}

void TAdvDBGridEh::QueryNotListed()
{
    m_retryQuery = QueryConditions;
    QueryConditions = m_listedQuery;
}

bool TAdvDBGridEh::ShowFilterDialog(const QString &caption, bool visibleOnly)
{
    const QPointer<TAdvDBGridEh> self(this);
    // The rows the dialog opens with: the filter conditions, or, after a filter
    // the dataset refused, the rows just confirmed, so nothing typed is lost.
    LogicRows rows = FilterConditions;
    try {
        for (;;) {
            bool confirmed = false;
            std::optional<QString> refused;
            {
                auto form = TFrmQuerySet::CreateForFilter(caption, &rows, visibleOnly);
                form->setDataSet(dataSet());
                // The filter goes in as OK hides the dialog, before the listing
                // is painted again for the window it goes back to: one paint,
                // of the filtered rows, instead of the old rows first.
                connect(form.get(), &QDialog::finished, this, [&](int result) {
                    if (result != ResultOK)
                        return;
                    confirmed = true;
                    rows = form->rows();
                    // FilterText writes "部分不等于" as NOT LIKE, which the
                    // dataset evaluates itself: right for several such
                    // conditions, under "或者", and for rows loaded by later
                    // searches, where a list of excluded values is not.
                    refused = applyFilter(form->FilterText.trimmed(), rows);
                });
                if (TFrmQuerySet::execOwned(form) != ResultOK || !self || !confirmed)
                    return false;
            }
            if (!refused)
                return true;
            showHostErrorText(
                this, *refused + QStringLiteral("\n原来的过滤条件仍然有效。请修改刚才输入的条件，或退出放弃它们。"));
            if (!self)
                return false;
            // the dialog again, with the rows just confirmed
        }
    } catch (const std::exception &e) {
        if (self)
            showHostErrorText(this, QString::fromUtf8(e.what()));
        return false;
    }
}

std::optional<QString> TAdvDBGridEh::applyFilter(const QString &filter, const LogicRows &rows)
{
    try {
        if (ClientDataSet *ds = dataSet()) {
            // A filter the dataset refuses raises before anything changed: the
            // previous filter stays in force, and so do its conditions, which
            // the condition panel describes.
            ds->setFilter(filter);
            ds->setFiltered(true);
        }
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    FilterConditions = rows;
    if (ShowSumCount)
        runGuarded([this] { UpdateCountFooter(); }); // inside the dialog's signal: nothing may escape
    return std::nullopt;
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
    // One read of the file for all columns.
    const IniFile ini = ReadIniFile(fileName, dir);
    for (int i = 0; i < gridColumnCount(); ++i) {
        GridColumn &c = editColumn(i);
        const QString value = ini.value(section, c.fieldName).value_or(QStringLiteral("1,0")).left(2047);
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

void TAdvDBGridEh::setTypeAheadFields(const QString &codeField, const QString &nameField)
{
    m_typeAheadCode = codeField;
    m_typeAheadName = nameField;
    m_typed.clear();
}

void TAdvDBGridEh::keyboardSearch(const QString &search)
{
    ClientDataSet *ds = dataSet();
    if (m_typeAheadCode.isEmpty() && m_typeAheadName.isEmpty()) {
        DBGridEh::keyboardSearch(search);
        return;
    }
    // The pause is counted from the end of the previous key's search: the
    // first search after a load builds the keys, and the keys typed meanwhile
    // still belong to the same text.
    const bool fresh = !m_typedAt.isValid() || m_typedAt.elapsed() > QApplication::keyboardInputInterval();
    const auto restart = qScopeGuard([this] { m_typedAt.start(); });
    if (fresh)
        m_typed.clear();
    bool typeable = !search.isEmpty();
    for (QChar c : search)
        typeable = typeable && c.unicode() < 0x80 && c.isLetterOrNumber();
    if (!typeable || !ds || !ds->isActive()) {
        m_typed.clear(); // a space or a sign ends the text typed so far
        return;
    }
    m_typed += search;
    // A new text starts after the current row; a longer one may stay on it.
    // The same key pressed again walks on through the rows it leads to, as in
    // any list view.
    bool next = fresh;
    QStringView typed = m_typed;
    if (m_typed.size() > 1 && m_typed.count(m_typed.back()) == m_typed.size()) {
        typed = typed.first(1);
        next = true;
    }
    const int rows = ds->recordCount();
    const QModelIndex current = currentIndex();
    int from = current.isValid() ? current.row() : 0;
    if (current.isValid() && next)
        from = from + 1 < rows ? from + 1 : 0;
    const Field *code = ds->findField(m_typeAheadCode);
    const Field *name = ds->findField(m_typeAheadName);
    const int row = TypeAhead::find(*ds, code ? code->index() : -1, name ? name->index() : -1, typed, from);
    if (row < 0)
        return;
    int column = current.isValid() ? current.column() : -1;
    if (column < 0 || isColumnHidden(column))
        column = sectionOfGridColumn(firstVisibleColumn());
    const QModelIndex target = model()->index(row, qMax(0, column));
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(target);
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
