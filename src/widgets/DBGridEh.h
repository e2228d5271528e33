// The data-aware grid: a QTableView over a ClientDataSet (through DataSetModel)
// with a collection of columns, sort marks set by clicking titles (several at
// once, each showing its order), and a footer row that stays under the rows.
// It paints its own title and footer cells; rows are painted by the view.
#pragma once

#include "data/ClientDataSet.h"
#include "data/DataSetModel.h"

#include <QFont>
#include <QHeaderView>
#include <QPointer>
#include <QTableView>

#include <memory>
#include <optional>
#include <vector>

namespace sqda {

class DBGridEh;

enum class SortMark { None, Down, Up };

enum class FooterKind {
    Nothing,
    Sum, // computed over the rows the filter lets through
    Average,
    Count,
    FieldValue, // the value at the current record
    StaticText,
};

struct GridColumn
{
    QString fieldName;
    QString title; // title caption; empty: the field's display label
    Qt::Alignment titleAlignment = Qt::AlignCenter;
    std::optional<Qt::Alignment> alignment; // empty: as the model says (numbers right)
    int tag = 0;
    bool visible = true;
    int width = 64;
    std::optional<QFont> font; // empty: the grid's
    std::optional<QColor> color; // cell background; empty: the grid's
    std::optional<QFont> titleFont;
    std::optional<QFont> footerFont;
    FooterKind footerKind = FooterKind::Nothing;
    QString footerText; // the static text
    QString footerField; // field a computed footer works on; empty: the column's
    SortMark sortMark = SortMark::None;
};

// The title row: paints each title with the column's caption and its sort mark,
// and remembers the modifiers of the click that selected a section.
class GridTitle : public QHeaderView
{
    Q_OBJECT
public:
    explicit GridTitle(DBGridEh *grid);
    Qt::KeyboardModifiers clickModifiers() const { return m_clickModifiers; }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    DBGridEh *m_grid;
    Qt::KeyboardModifiers m_clickModifiers;
};

class DBGridEh : public QTableView
{
    Q_OBJECT
public:
    explicit DBGridEh(QWidget *parent = nullptr);
    ~DBGridEh() override;

    // The dataset shown; not owned. The grid follows it until it is destroyed.
    void setDataSet(ClientDataSet *dataSet);
    ClientDataSet *dataSet() const { return m_dataSet; }
    DataSetModel *dataModel() const { return m_model.get(); }

    // Columns --------------------------------------------------------------
    // With no columns added the grid shows one column per visible field.
    int gridColumnCount() const { return int(m_columns.size()); }
    const GridColumn &gridColumn(int i) const { return m_columns[size_t(i)]; }
    // Changes one column; the grid re-lays its sections and repaints.
    GridColumn &editColumn(int i) { return m_columns[size_t(i)]; }
    void addColumn(const GridColumn &column);
    void clearColumns();
    void columnsChanged(); // after editColumn()
    // After editColumn() changed footer kinds or texts alone: the footer is
    // computed and painted again, the columns are not laid out again.
    void footerChanged();
    void setGridColumnVisible(int i, bool visible);
    void setGridColumnWidth(int i, int width);
    void setFooter(int i, FooterKind kind, const QString &text = {});
    int gridColumnOfSection(int logicalSection) const; // -1 for none
    int sectionOfGridColumn(int i) const; // the model column, -1 when its field is missing
    int firstVisibleColumn() const; // -1 for none
    int frozenColumnCount() const { return m_frozenCols; }
    // The first n visible columns stay at the left while the others scroll.
    void setFrozenColumnCount(int n);
    QTableView *frozenView() const { return m_frozen.get(); } // null until columns are frozen

    // Sort marks -----------------------------------------------------------
    bool sortMarkingEnabled() const { return m_sortMarking; }
    void setSortMarkingEnabled(bool on) { m_sortMarking = on; }
    // Several columns may be marked (Ctrl+click) only with this on.
    bool multiSortMarking() const { return m_multiSort; }
    void setMultiSortMarking(bool on) { m_multiSort = on; }
    // The marked columns in the order they were marked.
    const std::vector<int> &sortMarkedColumns() const { return m_sortMarked; }
    // Index of the column among the marked ones, from 1; 0 when not marked.
    int sortMarkOrder(int gridColumn) const;
    // The title-click rules: without Ctrl the other marks go and the column
    // moves none → down → up → down, reported at once; with Ctrl the others stay,
    // the column moves none → down → up → none, reported when Ctrl is released.
    void titleClick(int gridColumn, Qt::KeyboardModifiers modifiers);
    bool sortChangePending() const { return m_sortChangePending; }
    // Replaces every mark with `marks`, in that marking order (None and
    // unknown columns are skipped), then reports the change as a click does.
    void setSortMarks(const std::vector<std::pair<int, SortMark>> &marks);

    // Keeps the cell out from under the frozen columns: a scrolling cell is
    // brought to the right of them, a frozen one only scrolls vertically.
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    // After a layout change that kept every row (a re-sort) only the rows are
    // painted again; any other layout goes through the view.
    void doItemsLayout() override;

    // Footer ---------------------------------------------------------------
    bool footerShown() const { return m_footerShown; }
    void setFooterShown(bool on);
    int footerHeight() const;
    // The text a column's footer cell shows.
    QString footerCellText(int gridColumn) const;
    QWidget *footerWidget() const;
    // The shown footer's cells as assistive technology reads them, one after
    // another; also the grid's and the footer's accessible description.
    QString footerReading() const;

    // Looks -----------------------------------------------------------------
    QColor titleColor = QColor(0, 128, 0);
    QColor titleTextColor = Qt::white;
    QColor footerColor = Qt::yellow;
    QFont titleFont;
    QFont footerFont;

Q_SIGNALS:
    // The sort marks changed (the base grid's OnSortMarkingChanged).
    void sortMarkingChanged();

protected:
    // Called when the marks changed: emits sortMarkingChanged().
    virtual void sortMarksChanged();
    // Called when the dataset opens or closes, has its rows replaced by new
    // ones (ClientDataSet::reloaded), or is bound (or unbound) while open. The
    // base keeps the columns in step with the fields.
    virtual void dataLinkChanged();
    // Called just before that, while the old rows are still there
    // (ClientDataSet::aboutToReload). The base does nothing.
    virtual void dataLinkAboutToChange() { }
    void clearSortMarkState();
    void updateGeometries() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void changeEvent(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    friend class GridTitle;
    class Footer;
    class CellDelegate;
    void applyColumns();
    void updateFrozen();
    void repaintTitles();
    void fitRowHeight();
    void onSectionResized(int logical, int oldSize, int newSize);
    void invalidateFooter();
    void repaintFooter();
    void updateFooterReading();
    void reportPendingSortChange();
    void onDataReset();
    int frozenWidth() const; // 0 without frozen columns

    QPointer<ClientDataSet> m_dataSet;
    std::unique_ptr<DataSetModel> m_model;
    std::vector<GridColumn> m_columns;
    bool m_defaultColumns = true; // built from the fields, rebuilt with them
    std::vector<int> m_sortMarked;
    std::vector<int> m_sectionColumn; // grid column of each model section, -1 for none
    bool m_sortMarking = true;
    bool m_multiSort = false;
    bool m_sortChangePending = false;
    bool m_applying = false;
    bool m_inGeometries = false;
    bool m_geometriesAgain = false;
    bool m_geometriesOnShow = false; // asked for while hidden
    bool m_footerShown = false;
    bool m_footerReadingPending = false;
    bool m_reorderOnly = false; // the last layout change kept every row
    int m_rowsBeforeLayout = -1;
    // What the grid's geometry is made of, as of the last time it was laid out.
    struct LayoutInputs
    {
        const QAbstractItemModel *model = nullptr;
        int rows = -1, columns = -1, width = -1, height = -1, titleHeight = -1, rowHeaderWidth = -1;
        QSize size, viewport;
        int footer = -1, frozen = -1;
        bool operator==(const LayoutInputs &) const = default;
    };
    LayoutInputs layoutInputs() const;
    LayoutInputs m_laidOut;
    int m_frozenCols = 0;
    std::unique_ptr<Footer> m_footer;
    // Frozen columns: a second view over the same model and selection, laid over
    // the left edge, scrolling vertically with the grid.
    std::unique_ptr<QTableView> m_frozen;
    mutable std::vector<std::optional<QString>> m_footerCache;
};

} // namespace sqda
