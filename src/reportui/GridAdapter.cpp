#include "GridAdapter.h"

#include "widgets/DBGridEh.h"

#include <QHeaderView>

namespace sqda::report {

namespace {

HAlign hAlignOf(Qt::Alignment a)
{
    if (a & Qt::AlignRight)
        return HAlign::Right;
    if (a & Qt::AlignHCenter)
        return HAlign::Center;
    return HAlign::Left;
}

FooterValue footerValueOf(FooterKind kind)
{
    switch (kind) {
    case FooterKind::Nothing:
        return FooterValue::None;
    case FooterKind::Sum:
        return FooterValue::Sum;
    case FooterKind::Average:
        return FooterValue::Average;
    case FooterKind::Count:
        return FooterValue::Count;
    case FooterKind::FieldValue:
        return FooterValue::FieldValue;
    case FooterKind::StaticText:
        return FooterValue::StaticText;
    }
    return FooterValue::None;
}

bool isNumber(FieldType t)
{
    return t == FieldType::Int32 || t == FieldType::Int64 || t == FieldType::Double;
}

} // namespace

FontSpec fontSpecOf(const QFont &font, const QColor &color, double dpi)
{
    FontSpec described;
    described.family = font.family();
    described.pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / dpi;
    described.bold = font.bold();
    described.italic = font.italic();
    described.underline = font.underline();
    described.color = color.rgba();
    return described;
}

GridDescription describeGrid(const DBGridEh &grid)
{
    GridDescription out;
    const ClientDataSet *ds = grid.dataSet();
    out.hasDataSet = ds && ds->isActive();
    const QHeaderView *titles = grid.horizontalHeader();
    out.showTitles = !titles->isHidden();
    // The title row as laid out; before the grid was first shown, as it will be.
    out.titleRowHeight = titles->height() > 0 && titles->isVisible() ? titles->height() : titles->sizeHint().height();
    out.defaultRowHeight = grid.verticalHeader()->defaultSectionSize();
    out.columnLines = grid.showGrid();
    out.footerRowCount = grid.footerShown() ? 1 : 0;

    const QColor text = grid.palette().color(QPalette::Text);
    for (int i = 0; i < grid.gridColumnCount(); ++i) {
        const sqda::GridColumn &col = grid.gridColumn(i);
        if (!col.visible)
            continue;
        const Field *field = ds ? ds->findField(col.fieldName) : nullptr;
        report::GridColumn c;
        c.field = field ? field->index() : -1;
        c.title = !col.title.isEmpty() ? col.title : field ? field->displayLabel() : col.fieldName;
        c.width = col.width;
        c.font = fontSpecOf(col.font.value_or(grid.font()), text);
        // Without an alignment of its own a column shows numbers right, as the
        // model aligns them on screen.
        c.align = col.alignment ? hAlignOf(*col.alignment)
                                : (field && isNumber(field->dataType()) ? HAlign::Right : HAlign::Left);
        c.titleFont = fontSpecOf(col.titleFont.value_or(grid.titleFont), grid.titleTextColor);
        c.titleAlign = hAlignOf(col.titleAlignment);
        if (out.footerRowCount > 0) {
            GridFooterCell f;
            f.value = footerValueOf(col.footerKind);
            // A computed footer over another field than the column's prints what
            // the grid shows: the listing's sums work on the column's own field.
            const bool otherField
                = !col.footerField.isEmpty() && col.footerField.compare(col.fieldName, Qt::CaseInsensitive) != 0;
            if ((f.value == FooterValue::Sum || f.value == FooterValue::Count) && otherField)
                f.value = FooterValue::StaticText;
            if (f.value != FooterValue::Sum && f.value != FooterValue::Count)
                f.text = grid.footerCellText(i);
            f.hasOwnFont = true;
            f.font = fontSpecOf(col.footerFont.value_or(grid.footerFont), text);
            const bool numeric = col.footerKind == FooterKind::Sum || col.footerKind == FooterKind::Average
                || col.footerKind == FooterKind::Count;
            f.align = numeric ? HAlign::Right : HAlign::Left;
            c.footers = { f };
        }
        out.columns.push_back(std::move(c));
    }
    return out;
}

} // namespace sqda::report
