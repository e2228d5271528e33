#include "DBGridEh.h"

#include <QApplication>
#include <QCache>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextLayout>

namespace sqda {

namespace {

// The sort mark: a small filled triangle, pointing down for a descending sort.
void drawSortMark(QPainter *p, const QRect &box, SortMark mark, const QColor &color)
{
    const QPointF c = QRectF(box).center();
    const qreal h = 3.5;
    QPolygonF tri;
    if (mark == SortMark::Down)
        tri << QPointF(c.x() - h, c.y() - h / 2) << QPointF(c.x() + h, c.y() - h / 2)
            << QPointF(c.x(), c.y() + h / 2 + 1);
    else
        tri << QPointF(c.x() - h, c.y() + h / 2 + 1) << QPointF(c.x() + h, c.y() + h / 2 + 1)
            << QPointF(c.x(), c.y() - h / 2);
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setPen(Qt::NoPen);
    p->setBrush(color);
    p->drawPolygon(tri);
    p->restore();
}

QString numberText(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

// Before every re-sort or filter change a row header walks all its sections to
// note the ones hidden or sized by hand (a million rows: about a millisecond,
// a fifth of the sort). The grid's row headers are hidden and fixed, every row
// one height, so there is never anything to note: they keep only the
// notification after the change, which brings their count up to date.
void unhookRowHeader(QHeaderView *rows)
{
    if (QAbstractItemModel *model = rows->model())
        QObject::disconnect(model, &QAbstractItemModel::layoutAboutToBeChanged, rows, nullptr);
}

// The model's layout changes are new orders or filters of its rows, never of
// its columns, yet the title row, as any item view, lays itself out again and
// repaints on each. Titles whose text or marks change are repainted by the
// grid itself (repaintTitles).
void unhookTitles(QHeaderView *titles)
{
    if (QAbstractItemModel *model = titles->model()) {
        QObject::disconnect(model, &QAbstractItemModel::layoutAboutToBeChanged, titles, nullptr);
        QObject::disconnect(model, &QAbstractItemModel::layoutChanged, titles, nullptr);
    }
}

constexpr int kMarkWidth = 12; // room for the triangle
constexpr int kCellPadding = 3;

} // namespace

// The footer row: a strip under the rows, painted cell by cell at the positions
// of the title sections, so it scrolls sideways with them but never vertically.
class DBGridEh::Footer : public QWidget
{
public:
    explicit Footer(DBGridEh *grid)
        : QWidget(grid)
        , m_grid(grid)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), m_grid->footerColor);
        const QHeaderView *h = m_grid->horizontalHeader();
        const QColor line = m_grid->palette().color(QPalette::Mid);
        const QTableView *frozen = m_grid->frozenView();
        const QHeaderView *fh = frozen && frozen->isVisible() ? frozen->horizontalHeader() : nullptr;
        // Scrolling cells first, then the frozen ones over them at a fixed place.
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < m_grid->gridColumnCount(); ++i) {
                const GridColumn &col = m_grid->gridColumn(i);
                const int section = m_grid->sectionOfGridColumn(i);
                if (!col.visible || section < 0 || h->isSectionHidden(section))
                    continue;
                const bool isFrozen = fh && !fh->isSectionHidden(section);
                if (isFrozen != (pass == 1))
                    continue;
                const QHeaderView *at = isFrozen ? fh : h;
                const QRect cell(at->sectionViewportPosition(section), 0, at->sectionSize(section), height());
                if (isFrozen)
                    p.fillRect(cell, m_grid->footerColor);
                if (cell.right() < 0 || cell.left() > width())
                    continue;
                p.setPen(line);
                p.drawLine(cell.topRight(), cell.bottomRight());
                const QString text = m_grid->footerCellText(i);
                if (text.isEmpty())
                    continue;
                p.setFont(col.footerFont.value_or(m_grid->footerFont));
                p.setPen(m_grid->palette().color(QPalette::Text));
                const bool numeric = col.footerKind == FooterKind::Sum || col.footerKind == FooterKind::Average
                    || col.footerKind == FooterKind::Count;
                p.drawText(cell.adjusted(kCellPadding, 0, -kCellPadding, 0),
                    Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft), text);
            }
        p.setPen(line);
        p.drawLine(0, 0, width(), 0);
    }

private:
    DBGridEh *m_grid;
};

// Cells take their column's font, alignment and colour; the text itself comes
// from the model as it is.
class DBGridEh::CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(DBGridEh *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget *widget = opt.widget;
        const QStyle *style = widget ? widget->style() : QApplication::style();
        // A plain one-line text is laid out once and kept, where the style
        // lays it out five times on every paint (the item's three rectangles,
        // the eliding, the drawing); it is drawn as the style draws it: the
        // same layout at the same place, with the same pen and clip, after the
        // cell's background. Anything else is left to the style.
        const bool plain = !opt.text.isEmpty()
            && !(opt.features
                & (QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration
                    | QStyleOptionViewItem::WrapText))
            && !(opt.state & (QStyle::State_HasFocus | QStyle::State_Editing));
        if (!plain) {
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
            return;
        }
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect textRect = opt.rect.adjusted(margin, 0, -margin, 0);
        const CellTextKey key { opt.text, opt.font, textRect.width(), int(opt.displayAlignment), int(opt.direction),
            int(opt.textElideMode) };
        CellText *text = m_texts.object(key);
        if (!text) {
            text = layOut(opt, textRect.width());
            m_texts.insert(key, text);
        }
        if (!text->layout) {
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
            return;
        }
        const QRect layoutRect
            = QStyle::alignedRect(Qt::LayoutDirectionAuto, opt.displayAlignment, text->size, textRect);
        QPalette::ColorGroup cg = opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        if (cg == QPalette::Normal && !(opt.state & QStyle::State_Active))
            cg = QPalette::Inactive;
        const QColor pen
            = opt.palette.color(cg, opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text);
        opt.text.clear();
        // Without text, a selection or a background there is nothing more to
        // paint for the cell.
        const bool bare = opt.backgroundBrush.style() == Qt::NoBrush
            && !(opt.state & (QStyle::State_Selected | QStyle::State_MouseOver)) && isCommonStyle(style);
        if (!bare)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        painter->save();
        painter->setClipRect(opt.rect);
        painter->setPen(pen);
        text->layout->draw(painter, QPointF(textRect.x(), layoutRect.top()));
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const int gc = m_grid->gridColumnOfSection(index.column());
        if (gc < 0)
            return;
        const GridColumn &col = m_grid->gridColumn(gc);
        if (col.font)
            option->font = *col.font;
        if (col.alignment)
            option->displayAlignment = *col.alignment;
        if (col.color)
            option->backgroundBrush = *col.color;
    }

private:
    struct CellTextKey
    {
        QString text;
        QFont font;
        int width;
        int alignment;
        int direction;
        int elideMode;
        bool operator==(const CellTextKey &o) const
        {
            return width == o.width && alignment == o.alignment && direction == o.direction && elideMode == o.elideMode
                && text == o.text && font == o.font;
        }
        friend size_t qHash(const CellTextKey &k, size_t seed = 0)
        {
            return qHashMulti(seed, k.text, k.font, k.width, k.alignment, k.direction, k.elideMode);
        }
    };
    // A cell's text laid out in one line of the cell's width, elided as the
    // style elides it; no layout when the style must draw it (several lines).
    struct CellText
    {
        std::unique_ptr<QTextLayout> layout;
        QSize size; // of the whole text's line: the style places the line by it
    };

    // Fusion (the platform-neutral style) paints an item's panel only for a
    // selection or a background brush; other styles are always asked.
    bool isCommonStyle(const QStyle *style) const
    {
        if (m_checkedStyle.data() != style) {
            m_checkedStyle = const_cast<QStyle *>(style);
            m_commonStyle = style->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
        }
        return m_commonStyle;
    }

    static CellText *layOut(const QStyleOptionViewItem &opt, int width)
    {
        auto out = std::make_unique<CellText>();
        QTextOption textOption;
        textOption.setWrapMode(QTextOption::ManualWrap);
        textOption.setTextDirection(opt.direction);
        textOption.setAlignment(QStyle::visualAlignment(opt.direction, opt.displayAlignment));
        auto layout = std::make_unique<QTextLayout>(opt.text, opt.font);
        layout->setTextOption(textOption);
        const auto layOutLine = [&layout, width] {
            layout->beginLayout();
            QTextLine line = layout->createLine();
            if (line.isValid()) {
                line.setLineWidth(width);
                line.setPosition(QPointF(0, 0));
            }
            const bool more = line.isValid() && layout->createLine().isValid();
            layout->endLayout();
            return line.isValid() && !more ? line.naturalTextWidth() : -1.0;
        };
        const qreal natural = layOutLine();
        if (natural < 0 || opt.text.contains(QChar(0x9c)))
            return out.release(); // several lines, or length variants: the style's
        out->size = layout->boundingRect().size().toSize();
        if (natural > width) {
            layout->setText(QFontMetrics(opt.font).elidedText(opt.text, opt.textElideMode, width));
            layOutLine();
        }
        out->layout = std::move(layout);
        return out.release();
    }

    DBGridEh *m_grid;
    // The texts of the cells painted lately, so a repaint of the same rows
    // (a scroll back, a sort reversed, a selection moved) shapes nothing again.
    mutable QCache<CellTextKey, CellText> m_texts { 2048 };
    mutable QPointer<QStyle> m_checkedStyle;
    mutable bool m_commonStyle = false;
};

GridTitle::GridTitle(DBGridEh *grid)
    : QHeaderView(Qt::Horizontal, grid)
    , m_grid(grid)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false);
}

void GridTitle::mouseReleaseEvent(QMouseEvent *e)
{
    // sectionClicked carries no modifiers; the click's own are what count (the
    // keyboard state may already have moved on when the signal is handled).
    m_clickModifiers = e->modifiers();
    QHeaderView::mouseReleaseEvent(e);
}

QSize GridTitle::sectionSizeFromContents(int logicalIndex) const
{
    QSize s = QHeaderView::sectionSizeFromContents(logicalIndex);
    s.setHeight(QFontMetrics(m_grid->titleFont).height() + 6);
    return s;
}

void GridTitle::paintSection(QPainter *p, const QRect &rect, int logicalIndex) const
{
    const int gc = m_grid->gridColumnOfSection(logicalIndex);
    p->save();
    p->fillRect(rect, m_grid->titleColor);
    p->setPen(m_grid->titleColor.darker(150));
    p->drawLine(rect.topRight(), rect.bottomRight());
    p->drawLine(rect.bottomLeft(), rect.bottomRight());
    if (gc >= 0) {
        const GridColumn &col = m_grid->gridColumn(gc);
        QRect textRect = rect.adjusted(kCellPadding, 0, -kCellPadding, 0);
        if (col.sortMark != SortMark::None) {
            // The mark sits at the right; with several marked columns its order
            // number stands next to it.
            QRect markBox(textRect.right() - kMarkWidth + 1, rect.top(), kMarkWidth, rect.height());
            const int order = m_grid->sortMarkOrder(gc);
            if (m_grid->sortMarkedColumns().size() > 1 && order > 0) {
                QFont small = m_grid->titleFont;
                small.setPixelSize(qMax(8, QFontInfo(small).pixelSize() - 3));
                const QString n = QString::number(order);
                const int nw = QFontMetrics(small).horizontalAdvance(n) + 1;
                p->setFont(small);
                p->setPen(m_grid->titleTextColor);
                const QRect numBox(markBox.left() - nw, rect.top(), nw, rect.height());
                p->drawText(numBox, Qt::AlignRight | Qt::AlignVCenter, n);
                textRect.setRight(numBox.left() - 1);
            } else {
                textRect.setRight(markBox.left() - 1);
            }
            drawSortMark(p, markBox, col.sortMark, m_grid->titleTextColor);
        }
        const QString title = col.title.isEmpty()
            ? model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString()
            : col.title;
        p->setFont(col.titleFont.value_or(m_grid->titleFont));
        p->setPen(m_grid->titleTextColor);
        p->drawText(textRect, int(col.titleAlignment | Qt::AlignVCenter),
            p->fontMetrics().elidedText(title, Qt::ElideRight, textRect.width()));
    }
    p->restore();
}

DBGridEh::DBGridEh(QWidget *parent)
    : QTableView(parent)
    , m_footer(std::make_unique<Footer>(this))
{
    auto *title = new GridTitle(this); // owned by the view once set
    setHorizontalHeader(title);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    // Pixel scrolling: the range is then the rows' height less the viewport's,
    // which stays right with the footer strip taken off the viewport.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Sideways by pixels too, so a cell can be placed exactly beside the frozen
    // columns.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setShowGrid(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsMovable(false);
    // A listing takes no typed text: no input method may open over it.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    titleFont = font();
    footerFont = font();
    fitRowHeight();
    setItemDelegate(new CellDelegate(this)); // owned by the grid
    m_footer->hide();
    m_footer->setAccessibleName(QStringLiteral("表尾"));

    connect(title, &QHeaderView::sectionClicked, this,
        [this, title](int section) { titleClick(gridColumnOfSection(section), title->clickModifiers()); });
    connect(title, &QHeaderView::sectionResized, this, &DBGridEh::onSectionResized);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_footer.get(), qOverload<>(&QWidget::update));
}

DBGridEh::~DBGridEh()
{
    qApp->removeEventFilter(this);
    m_frozen.reset();
    setModel(nullptr);
}

void DBGridEh::fitRowHeight()
{
    // One text line and a little air, as a listing's rows are, instead of the
    // style's roomy default.
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void DBGridEh::showEvent(QShowEvent *e)
{
    QTableView::showEvent(e);
    if (m_geometriesOnShow)
        updateGeometries();
}

void DBGridEh::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange)
        fitRowHeight();
    QTableView::changeEvent(e);
}

void DBGridEh::setDataSet(ClientDataSet *dataSet)
{
    // Binding to an open dataset, or away from one, is the data link going
    // active or inactive as much as opening or closing it is.
    const bool linkChanges = (m_dataSet && m_dataSet->isActive()) || (dataSet && dataSet->isActive());
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    auto model = dataSet ? std::make_unique<DataSetModel>(dataSet) : nullptr;
    setModel(model.get());
    m_model = std::move(model);
    if (m_model) {
        unhookRowHeader(verticalHeader());
        unhookTitles(horizontalHeader());
        connect(dataSet, &ClientDataSet::dataReset, this, &DBGridEh::onDataReset);
        // Opening, closing and loading new rows are the data link going inactive
        // and active; emptying, appending and re-sorting are not.
        connect(dataSet, &ClientDataSet::aboutToReload, this, &DBGridEh::dataLinkAboutToChange);
        connect(dataSet, &ClientDataSet::reloaded, this, &DBGridEh::dataLinkChanged);
        connect(dataSet, &ClientDataSet::layoutChanged, this, &DBGridEh::invalidateFooter);
        // A new order of the same rows keeps every geometry: the delayed layout
        // that follows a layout change then only repaints the rows (see
        // doItemsLayout). Anything else that arrives first lays out in full.
        connect(m_model.get(), &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { m_rowsBeforeLayout = m_model->rowCount(); });
        connect(m_model.get(), &QAbstractItemModel::layoutChanged, this,
            [this] { m_reorderOnly = m_rowsBeforeLayout == m_model->rowCount(); });
        const auto layOutInFull = [this] { m_reorderOnly = false; };
        connect(m_model.get(), &QAbstractItemModel::modelReset, this, layOutInFull);
        connect(m_model.get(), &QAbstractItemModel::rowsInserted, this, layOutInFull);
        connect(m_model.get(), &QAbstractItemModel::rowsRemoved, this, layOutInFull);
        connect(m_model.get(), &QAbstractItemModel::columnsInserted, this, layOutInFull);
        connect(m_model.get(), &QAbstractItemModel::columnsRemoved, this, layOutInFull);
        connect(dataSet, &ClientDataSet::rowAppended, this, &DBGridEh::invalidateFooter);
        connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
            // A field-value footer shows the current record.
            repaintFooter();
        });
    }
    if (linkChanges)
        dataLinkChanged();
    else
        applyColumns();
}

void DBGridEh::onDataReset()
{
    invalidateFooter();
    applyColumns();
}

void DBGridEh::dataLinkChanged()
{
    applyColumns();
}

void DBGridEh::addColumn(const GridColumn &column)
{
    if (m_defaultColumns) {
        m_columns.clear();
        m_sortMarked.clear();
        m_defaultColumns = false;
    }
    m_columns.push_back(column);
    applyColumns();
}

void DBGridEh::clearColumns()
{
    m_columns.clear();
    m_sortMarked.clear();
    m_defaultColumns = true;
    applyColumns();
}

void DBGridEh::columnsChanged()
{
    m_defaultColumns = false;
    applyColumns();
}

void DBGridEh::footerChanged()
{
    m_defaultColumns = false;
    invalidateFooter();
}

void DBGridEh::setGridColumnVisible(int i, bool visible)
{
    m_columns[size_t(i)].visible = visible;
    columnsChanged();
}

void DBGridEh::setGridColumnWidth(int i, int width)
{
    m_columns[size_t(i)].width = width;
    columnsChanged();
}

void DBGridEh::setFooter(int i, FooterKind kind, const QString &text)
{
    m_columns[size_t(i)].footerKind = kind;
    m_columns[size_t(i)].footerText = text;
    columnsChanged();
}

int DBGridEh::sectionOfGridColumn(int i) const
{
    if (!m_dataSet || i < 0 || i >= gridColumnCount())
        return -1;
    const Field *f = m_dataSet->findField(m_columns[size_t(i)].fieldName);
    return f ? f->index() : -1;
}

int DBGridEh::gridColumnOfSection(int logicalSection) const
{
    // Kept by applyColumns(), which runs on every change of columns or fields:
    // painting asks this for every cell.
    if (logicalSection < 0 || size_t(logicalSection) >= m_sectionColumn.size())
        return -1;
    const int gc = m_sectionColumn[size_t(logicalSection)];
    return gc < gridColumnCount() ? gc : -1;
}

int DBGridEh::firstVisibleColumn() const
{
    for (int i = 0; i < gridColumnCount(); ++i)
        if (m_columns[size_t(i)].visible)
            return i;
    return -1;
}

void DBGridEh::applyColumns()
{
    if (m_applying)
        return;
    m_applying = true;
    if (m_defaultColumns) {
        // Default columns follow the fields: one per visible field.
        std::vector<GridColumn> cols;
        if (m_dataSet) {
            for (int f = 0; f < m_dataSet->fieldCount(); ++f) {
                const Field *field = m_dataSet->field(f);
                GridColumn c;
                for (const GridColumn &old : m_columns)
                    if (old.fieldName.compare(field->fieldName(), Qt::CaseInsensitive) == 0)
                        c = old;
                c.fieldName = field->fieldName();
                c.visible = field->visible();
                cols.push_back(c);
            }
        }
        // Marks stay with their fields; a field that went takes its mark along.
        std::vector<int> marked;
        for (int gc : m_sortMarked) {
            for (size_t i = 0; i < cols.size(); ++i)
                if (size_t(gc) < m_columns.size() && cols[i].fieldName == m_columns[size_t(gc)].fieldName)
                    marked.push_back(int(i));
        }
        m_sortMarked = std::move(marked);
        m_columns = std::move(cols);
    }
    m_footerCache.assign(m_columns.size(), std::nullopt);
    QHeaderView *h = horizontalHeader();
    const int sections = m_model ? m_model->columnCount() : 0;
    std::vector<bool> used(size_t(sections), false);
    m_sectionColumn.assign(size_t(sections), -1);
    int visual = 0;
    for (int i = 0; i < gridColumnCount(); ++i) {
        const int s = sectionOfGridColumn(i);
        if (s < 0 || s >= sections || used[size_t(s)])
            continue;
        used[size_t(s)] = true;
        m_sectionColumn[size_t(s)] = i;
        h->moveSection(h->visualIndex(s), visual++);
        h->setSectionHidden(s, !m_columns[size_t(i)].visible);
        h->resizeSection(s, m_columns[size_t(i)].width);
    }
    for (int s = 0; s < sections; ++s)
        if (!used[size_t(s)])
            h->setSectionHidden(s, true);
    m_applying = false;
    updateFrozen();
    h->viewport()->update();
    repaintFooter();
}

void DBGridEh::setFrozenColumnCount(int n)
{
    m_frozenCols = qMax(0, n);
    updateFrozen();
}

void DBGridEh::updateFrozen()
{
    if (m_frozenCols == 0 || !m_model) {
        if (m_frozen)
            m_frozen->hide();
        return;
    }
    if (!m_frozen) {
        m_frozen = std::make_unique<QTableView>(this);
        auto *title = new GridTitle(this); // owned by the frozen view once set
        m_frozen->setHorizontalHeader(title);
        m_frozen->verticalHeader()->hide();
        m_frozen->setFocusPolicy(Qt::NoFocus);
        m_frozen->setFrameShape(QFrame::NoFrame);
        m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozen->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        m_frozen->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_frozen->setSelectionMode(QAbstractItemView::SingleSelection);
        m_frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_frozen->setWordWrap(false);
        m_frozen->setAttribute(Qt::WA_InputMethodEnabled, false);
        m_frozen->setItemDelegate(new CellDelegate(this)); // owned by the grid
        connect(title, &QHeaderView::sectionClicked, this,
            [this, title](int section) { titleClick(gridColumnOfSection(section), title->clickModifiers()); });
        connect(title, &QHeaderView::sectionResized, this, [this](int logical, int, int newSize) {
            if (!m_applying)
                horizontalHeader()->resizeSection(logical, newSize);
            updateGeometries();
        });
        connect(m_frozen->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
        connect(verticalScrollBar(), &QScrollBar::valueChanged, m_frozen->verticalScrollBar(), &QScrollBar::setValue);
        viewport()->stackUnder(m_frozen.get());
    }
    if (m_frozen->model() != m_model.get() || m_frozen->selectionModel() != selectionModel()) {
        m_frozen->setModel(m_model.get());
        m_frozen->setSelectionModel(selectionModel());
        unhookRowHeader(m_frozen->verticalHeader());
    }
    m_frozen->verticalHeader()->setMinimumSectionSize(1);
    m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    const bool wasApplying = m_applying;
    m_applying = true;
    QHeaderView *fh = m_frozen->horizontalHeader();
    for (int s = 0; s < m_model->columnCount(); ++s)
        fh->setSectionHidden(s, true);
    int width = 0;
    int shown = 0;
    for (int gc = 0; gc < gridColumnCount() && shown < m_frozenCols; ++gc) {
        const int s = sectionOfGridColumn(gc);
        if (s < 0 || !m_columns[size_t(gc)].visible)
            continue;
        fh->moveSection(fh->visualIndex(s), shown);
        fh->setSectionHidden(s, false);
        fh->resizeSection(s, horizontalHeader()->sectionSize(s));
        width += horizontalHeader()->sectionSize(s);
        ++shown;
    }
    m_applying = wasApplying;
    const QRect vg = viewport()->geometry();
    m_frozen->setGeometry(vg.left(), frameWidth(), width, vg.height() + horizontalHeader()->height());
    m_frozen->verticalScrollBar()->setRange(verticalScrollBar()->minimum(), verticalScrollBar()->maximum());
    m_frozen->verticalScrollBar()->setValue(verticalScrollBar()->value());
    m_frozen->setVisible(shown > 0);
}

int DBGridEh::frozenWidth() const
{
    return m_frozen && m_frozen->isVisible() ? m_frozen->width() : 0;
}

void DBGridEh::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QScrollBar *bar = horizontalScrollBar();
    const int before = bar->value();
    QTableView::scrollTo(index, hint);
    const int covered = frozenWidth();
    if (covered == 0 || !index.isValid())
        return;
    if (!m_frozen->isColumnHidden(index.column())) {
        // A frozen cell is always in sight: moving to it (Left from the first
        // scrolling column, a click) leaves the scrolling columns where they are.
        bar->setValue(before);
        return;
    }
    // The view placed the cell against the viewport's left edge, which the
    // frozen columns cover: move it to their right.
    const QRect cell = visualRect(index);
    if (cell.left() < covered)
        bar->setValue(bar->value() - (covered - cell.left()));
}

QModelIndex DBGridEh::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    // Home goes to the start of the row: the scrolled columns come back to
    // their start as well, not only the current cell to the frozen ones.
    if (cursorAction == MoveHome && frozenWidth() > 0)
        horizontalScrollBar()->setValue(0);
    return QTableView::moveCursor(cursorAction, modifiers);
}

void DBGridEh::onSectionResized(int logical, int, int newSize)
{
    // The user dragged a title edge: the column keeps the new width.
    if (!m_applying) {
        const int gc = gridColumnOfSection(logical);
        if (gc >= 0 && !horizontalHeader()->isSectionHidden(logical))
            m_columns[size_t(gc)].width = newSize;
        if (m_frozen && m_frozen->isVisible())
            updateFrozen();
    }
    repaintFooter();
}

int DBGridEh::sortMarkOrder(int gridColumn) const
{
    for (size_t i = 0; i < m_sortMarked.size(); ++i)
        if (m_sortMarked[i] == gridColumn)
            return int(i) + 1;
    return 0;
}

void DBGridEh::titleClick(int gc, Qt::KeyboardModifiers modifiers)
{
    if (!m_sortMarking || gc < 0 || gc >= gridColumnCount())
        return;
    SortMark &mark = m_columns[size_t(gc)].sortMark;
    if (m_multiSort && modifiers.testFlag(Qt::ControlModifier)) {
        switch (mark) {
        case SortMark::None:
            mark = SortMark::Down;
            m_sortMarked.push_back(gc);
            break;
        case SortMark::Down:
            mark = SortMark::Up;
            break;
        case SortMark::Up:
            mark = SortMark::None;
            std::erase(m_sortMarked, gc);
            break;
        }
        repaintTitles();
        // The change is reported once Ctrl goes up, so several columns can be
        // marked before one sort runs. Ctrl may be released over any widget.
        if (!m_sortChangePending) {
            m_sortChangePending = true;
            qApp->installEventFilter(this);
        }
        return;
    }
    for (int i = 0; i < gridColumnCount(); ++i)
        if (i != gc)
            m_columns[size_t(i)].sortMark = SortMark::None;
    mark = mark == SortMark::Down ? SortMark::Up : SortMark::Down;
    m_sortMarked.assign(1, gc);
    repaintTitles();
    m_sortChangePending = false;
    qApp->removeEventFilter(this);
    sortMarksChanged();
}

void DBGridEh::repaintTitles()
{
    horizontalHeader()->viewport()->update();
    if (m_frozen)
        m_frozen->horizontalHeader()->viewport()->update();
}

bool DBGridEh::eventFilter(QObject *watched, QEvent *event)
{
    if (m_sortChangePending && event->type() == QEvent::KeyRelease
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Control)
        reportPendingSortChange();
    return QTableView::eventFilter(watched, event);
}

void DBGridEh::keyReleaseEvent(QKeyEvent *e)
{
    if (m_sortChangePending && e->key() == Qt::Key_Control)
        reportPendingSortChange();
    QTableView::keyReleaseEvent(e);
}

void DBGridEh::reportPendingSortChange()
{
    if (!m_sortChangePending)
        return;
    m_sortChangePending = false;
    qApp->removeEventFilter(this);
    sortMarksChanged();
}

void DBGridEh::sortMarksChanged()
{
    Q_EMIT sortMarkingChanged();
}

void DBGridEh::setSortMarks(const std::vector<std::pair<int, SortMark>> &marks)
{
    clearSortMarkState();
    for (const auto &[gc, mark] : marks) {
        if (gc < 0 || gc >= gridColumnCount() || mark == SortMark::None || sortMarkOrder(gc) > 0)
            continue;
        m_columns[size_t(gc)].sortMark = mark;
        m_sortMarked.push_back(gc);
    }
    repaintTitles();
    sortMarksChanged();
}

void DBGridEh::clearSortMarkState()
{
    for (GridColumn &c : m_columns)
        c.sortMark = SortMark::None;
    m_sortMarked.clear();
    m_sortChangePending = false;
    qApp->removeEventFilter(this);
    horizontalHeader()->viewport()->update();
    if (m_frozen)
        m_frozen->horizontalHeader()->viewport()->update();
}

QWidget *DBGridEh::footerWidget() const
{
    return m_footer.get();
}

void DBGridEh::setFooterShown(bool on)
{
    m_footerShown = on;
    updateGeometries();
    repaintFooter();
}

void DBGridEh::repaintFooter()
{
    m_footer->update();
    // Assistive technology reads the footer from the grid's description. It is
    // built once this turn of the event loop is over, as the painting is, so a
    // load that appends row by row computes it once.
    if (!m_footerReadingPending) {
        m_footerReadingPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_footerReadingPending = false;
                updateFooterReading();
            },
            Qt::QueuedConnection);
    }
}

QString DBGridEh::footerReading() const
{
    if (!m_footerShown)
        return {};
    QStringList cells;
    const QHeaderView *h = horizontalHeader();
    for (int visual = 0; visual < h->count(); ++visual) {
        const int section = h->logicalIndex(visual);
        const int gc = gridColumnOfSection(section);
        if (h->isSectionHidden(section) || gc < 0 || !m_columns[size_t(gc)].visible)
            continue;
        const QString text = footerCellText(gc);
        if (!text.isEmpty())
            cells << text;
    }
    return cells.join(u'，');
}

void DBGridEh::updateFooterReading()
{
    const QString text = footerReading();
    if (accessibleDescription() != text)
        setAccessibleDescription(text);
    if (m_footer->accessibleDescription() != text)
        m_footer->setAccessibleDescription(text);
}

int DBGridEh::footerHeight() const
{
    return m_footerShown ? QFontMetrics(footerFont).height() + 6 : 0;
}

void DBGridEh::invalidateFooter()
{
    m_footerCache.assign(m_columns.size(), std::nullopt);
    repaintFooter();
}

QString DBGridEh::footerCellText(int gc) const
{
    if (gc < 0 || gc >= gridColumnCount())
        return {};
    const GridColumn &col = m_columns[size_t(gc)];
    switch (col.footerKind) {
    case FooterKind::Nothing:
        return {};
    case FooterKind::StaticText:
        return col.footerText;
    default:
        break;
    }
    if (!m_dataSet || !m_dataSet->isActive())
        return {};
    const Field *f = m_dataSet->findField(col.footerField.isEmpty() ? col.fieldName : col.footerField);
    if (!f)
        return {};
    if (col.footerKind == FooterKind::FieldValue) {
        const int row = currentIndex().row();
        return row < 0 ? QString() : m_model->data(m_model->index(row, f->index())).toString();
    }
    if (size_t(gc) < m_footerCache.size() && m_footerCache[size_t(gc)])
        return *m_footerCache[size_t(gc)];
    // Sums, averages and counts go over the rows the view shows, once per change
    // of the rows, the filter or the order.
    const int rows = m_model->rowCount();
    double sum = 0;
    int values = 0;
    for (int r = 0; r < rows; ++r) {
        const QVariant v = m_model->data(m_model->index(r, f->index()), Qt::EditRole);
        if (!v.isValid())
            continue;
        ++values;
        if (col.footerKind != FooterKind::Count)
            sum += v.toDouble();
    }
    QString text;
    if (col.footerKind == FooterKind::Count)
        text = QString::number(rows);
    else if (col.footerKind == FooterKind::Sum)
        text = numberText(sum);
    else
        text = values ? numberText(sum / values) : QString();
    if (size_t(gc) < m_footerCache.size())
        m_footerCache[size_t(gc)] = text;
    return text;
}

void DBGridEh::doItemsLayout()
{
    // Laying out again would set the view's viewport margins and then the
    // footer's, resizing the viewport twice and repainting the whole grid
    // (frame, scroll bar) for rows that only changed their order.
    // Whatever else asked for this layout (new rows, a delegate), it is skipped
    // only when every size the geometry is made of is still the one last laid out.
    if (std::exchange(m_reorderOnly, false) && layoutInputs() == m_laidOut) {
        viewport()->update();
        return;
    }
    QTableView::doItemsLayout();
}

DBGridEh::LayoutInputs DBGridEh::layoutInputs() const
{
    const QHeaderView *h = horizontalHeader();
    const QHeaderView *v = verticalHeader();
    return { m_model.get(), m_model ? m_model->rowCount() : 0, m_model ? m_model->columnCount() : 0, h->length(),
        v->length(), h->isHidden() ? -1 : h->sizeHint().height(), v->isHidden() ? -1 : v->sizeHint().width(), size(),
        viewport()->size(), footerHeight(), m_frozenCols };
}

void DBGridEh::updateGeometries()
{
    // The view sets its margins for the title row and zero below; the footer row
    // takes a strip at the bottom, between the rows and the scroll bar. Our own
    // margin change resizes the viewport, which asks for geometries again: that
    // nested request is done once more afterwards instead of recursing.
    if (m_inGeometries) {
        m_geometriesAgain = true;
        return;
    }
    // A hidden grid's geometries wait for its showing: while a screen is built,
    // every column, font and margin set asked for them afresh, and only the
    // last answer is ever seen.
    if (!isVisible()) {
        m_geometriesOnShow = true;
        return;
    }
    m_geometriesOnShow = false;
    m_inGeometries = true;
    for (int round = 0; round < 3; ++round) {
        m_geometriesAgain = false;
        const QSize viewportBefore = viewport()->size();
        QTableView::updateGeometries();
        const int fh = footerHeight();
        const QMargins m = viewportMargins();
        setViewportMargins(m.left(), m.top(), m.right(), fh);
        if (fh > 0) {
            // The view measured the scroll range against the taller viewport.
            QScrollBar *vs = verticalScrollBar();
            const int page = viewport()->height();
            vs->setRange(0, qMax(0, verticalHeader()->length() - page));
            vs->setPageStep(page);
        }
        const QRect vg = viewport()->geometry();
        m_footer->setGeometry(vg.left(), vg.bottom() + 1, vg.width(), fh);
        m_footer->setVisible(fh > 0);
        updateFrozen();
        // The view's margins (none below) and then ours (the footer's strip)
        // resize the viewport twice a round, each asking for geometries again;
        // when the two left it as it was, another round would find the same.
        if (!m_geometriesAgain || viewport()->size() == viewportBefore)
            break;
    }
    m_inGeometries = false;
    m_laidOut = layoutInputs();
    repaintFooter();
}

} // namespace sqda
