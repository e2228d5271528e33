// The listing grid of the query screen: the data-aware grid plus what a listing
// needs — sorting its dataset when the user marks titles, the search and filter
// condition lists edited through the condition builder and described in words,
// the column layout in a settings file, the row-count footer and the column
// chooser. It never reads the database: sorting and filtering work on the rows
// already loaded.
#pragma once

#include "TFrmChooseDBFields.h"
#include "WhereTextBuilder.h"
#include "widgets/DBGridEh.h"

#include <QElapsedTimer>
#include <optional>

namespace sqda {

class TAdvDBGridEh : public DBGridEh, public ColumnChooserGrid
{
    Q_OBJECT
public:
    explicit TAdvDBGridEh(QWidget *parent = nullptr);

    // Sort the dataset itself whenever the marks change; off: only signal.
    bool AutoSorted = false;
    // Write the row count into the first visible column's footer whenever the
    // dataset opens or closes.
    bool ShowSumCount = false;

    LogicRows QueryConditions; // last confirmed in the query dialog
    LogicRows FilterConditions; // last confirmed in the filter dialog

    // The condition builder in query mode; on OK the conditions are kept and
    // `whereText` gets the trimmed where text. Errors reach the caller.
    bool ShowQueryDialog(QString &whereText, const QString &caption, const QString &aliasList, const QString &helpText,
        const QString &fieldMap);
    // The search with the conditions just confirmed listed no rows (the host
    // refused it, or its answer could not be read). QueryConditions go back to
    // those of the rows shown, so the condition panel and the printed "Condi"
    // still describe them; the next query dialog opens with the conditions
    // just confirmed, so the user can try again without typing them anew.
    void QueryNotListed();
    // The condition builder in filter mode; on OK its filter goes on the dataset.
    // A filter the dataset refuses is shown in an "错误" box, which says that
    // the previous filter stays in force, and the dialog opens again with the
    // rows just confirmed; leaving it then answers false and keeps the previous
    // filter and its conditions.
    bool ShowFilterDialog(const QString &caption, bool visibleOnly);
    QString ConditionText(const QString &extraText) const;
    // The layout: one key per column, "1,164" (shown, width). `directory` empty
    // means the host program's folder.
    void LoadColumnLayout(const QString &fileName, const QString &section, const QString &directory);
    void SaveColumnLayout(const QString &fileName, const QString &section, const QString &directory);
    void ChooseColumns();

    void ApplySort();
    void ClearSortMarks();
    void UpdateCountFooter();

    // Type-ahead: letters and digits typed in the listing move to the next row
    // (from the current one, going round) whose code field starts with them or
    // whose name field's pinyin initials or full pinyin do (TypeAhead). Keys
    // typed within the platform's key interval add up to one text. Without
    // fields the view's own search applies.
    void setTypeAheadFields(const QString &codeField, const QString &nameField);
    void keyboardSearch(const QString &search) override;

    // The widest column a layout may set; a settings value outside 1…this is
    // taken as damaged and leaves the width as it is.
    static constexpr int MaxLayoutWidth = 8192;

    // ColumnChooserGrid
    int columnCount() const override { return gridColumnCount(); }
    int columnTag(int column) const override { return gridColumn(column).tag; }
    QString columnTitle(int column) const override;
    bool columnVisible(int column) const override { return gridColumn(column).visible; }
    void setColumnVisible(int column, bool visible) override { setGridColumnVisible(column, visible); }
    int frozenColumnCount() const override { return DBGridEh::frozenColumnCount(); }

protected:
    void sortMarksChanged() override;
    void dataLinkChanged() override;
    void dataLinkAboutToChange() override;

private:
    // The filter confirmed in the dialog put in force, its conditions kept and
    // the rows counted; the dataset's message when it refuses the filter.
    std::optional<QString> applyFilter(const QString &filter, const LogicRows &rows);
    LogicRows m_listedQuery; // QueryConditions before the last confirmation
    std::optional<LogicRows> m_retryQuery; // what the next query dialog opens with, when not QueryConditions
    QString m_typeAheadCode;
    QString m_typeAheadName;
    QString m_typed; // the text typed so far
    QElapsedTimer m_typedAt;
};

} // namespace sqda
