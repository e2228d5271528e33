#include "SavedQueryGrid.h"

#include "TAdvDBGridEh.h"

#include "data/DataError.h"

#include <utility>

namespace sqda {

namespace {

int columnOfField(const TAdvDBGridEh &grid, const QString &field)
{
    for (int i = 0; i < grid.gridColumnCount(); ++i) {
        if (grid.gridColumn(i).fieldName.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

WhereTextBuilder builderOf(const TAdvDBGridEh &grid, bool filterMode)
{
    WhereTextBuilder b;
    if (const ClientDataSet *ds = grid.dataSet())
        b.fields = builderFieldsOf(*ds);
    b.filterMode = filterMode;
    return b;
}

} // namespace

SavedQuery captureGridState(const TAdvDBGridEh &grid)
{
    SavedQuery q;
    q.search = grid.QueryConditions;
    q.filter = grid.FilterConditions;
    for (int gc : grid.sortMarkedColumns()) {
        const GridColumn &c = grid.gridColumn(gc);
        q.sortMarks.append(SavedSortMark { c.fieldName, c.sortMark == SortMark::Up });
    }
    for (int i = 0; i < grid.gridColumnCount(); ++i) {
        const GridColumn &c = grid.gridColumn(i);
        q.columns.append(SavedColumn { c.fieldName, c.visible, c.width });
    }
    return q;
}

Status checkConditionFields(const TAdvDBGridEh &grid, const LogicRows &rows)
{
    const WhereTextBuilder b = builderOf(grid, false);
    for (const LogicRow &r : rows) {
        if (r.isRelation())
            continue;
        const bool known = std::any_of(
            b.fields.cbegin(), b.fields.cend(), [&](const BuilderField &f) { return f.label == r.label; });
        if (!known)
            return Error { QStringLiteral("查询方案的条件用到了字段“%1”，这个画面没有这个字段。").arg(r.label) };
    }
    return Status();
}

Result<QString> searchWhereText(const TAdvDBGridEh &grid, const LogicRows &rows)
{
    const Result<WhereTexts> built = builderOf(grid, false).build(rows);
    if (!built)
        return Error { built.error() };
    return built->whereText.trimmed();
}

Status applyFilterConditions(TAdvDBGridEh &grid, const LogicRows &rows)
{
    const Result<WhereTexts> built = builderOf(grid, true).build(rows);
    if (!built)
        return Error { built.error() };
    try {
        if (ClientDataSet *ds = grid.dataSet()) {
            ds->setFilter(built->filterText.trimmed());
            ds->setFiltered(true);
        }
    } catch (const std::exception &e) {
        return Error { QString::fromUtf8(e.what()) };
    }
    grid.FilterConditions = rows;
    if (grid.ShowSumCount)
        grid.UpdateCountFooter();
    return Status();
}

void applyColumnLayout(TAdvDBGridEh &grid, const QList<SavedColumn> &columns)
{
    // Marks refer to columns by position; they are set again afterwards.
    grid.ClearSortMarks();
    struct Footer
    {
        FooterKind kind;
        QString text;
        QString field;
    };
    std::vector<Footer> footers;
    for (int i = 0; i < grid.gridColumnCount(); ++i) {
        const GridColumn &c = grid.gridColumn(i);
        footers.push_back({ c.footerKind, c.footerText, c.footerField });
    }
    int place = 0;
    for (const SavedColumn &saved : columns) {
        const int at = columnOfField(grid, saved.field);
        if (at < place) // unknown, or named twice
            continue;
        for (int i = at; i > place; --i)
            std::swap(grid.editColumn(i), grid.editColumn(i - 1));
        GridColumn &c = grid.editColumn(place);
        c.visible = c.tag != 1 && saved.visible;
        if (saved.width >= 1 && saved.width <= TAdvDBGridEh::MaxLayoutWidth)
            c.width = saved.width;
        ++place;
    }
    for (int i = 0; i < grid.gridColumnCount(); ++i) {
        GridColumn &c = grid.editColumn(i);
        c.footerKind = footers[size_t(i)].kind;
        c.footerText = footers[size_t(i)].text;
        c.footerField = footers[size_t(i)].field;
    }
    grid.columnsChanged();
}

void applySortMarks(TAdvDBGridEh &grid, const QList<SavedSortMark> &marks)
{
    std::vector<std::pair<int, SortMark>> wanted;
    for (const SavedSortMark &m : marks) {
        const int at = columnOfField(grid, m.field);
        if (at >= 0)
            wanted.emplace_back(at, m.ascending ? SortMark::Up : SortMark::Down);
    }
    // Reported as a change: with AutoSorted the grid sorts its rows itself.
    grid.setSortMarks(wanted);
}

} // namespace sqda
