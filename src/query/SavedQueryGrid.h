// What a saved query takes from the listing grid and gives back to it: the two
// condition lists, the sort marks and the column layout. Applying uses the
// grid's own operations, in the order a user would: the filter as the filter
// dialog sets it, then the layout, then the marks (which sort the rows).
#pragma once

#include "SavedQuery.h"

#include "core/Result.h"

namespace sqda {

class TAdvDBGridEh;

// The grid's lists, marks and columns; the name and the screen's parts are the caller's.
SavedQuery captureGridState(const TAdvDBGridEh &grid);

// Fails, naming the label, when a condition names a field the listing does not
// have: a where text built on another field would be a different query.
Status checkConditionFields(const TAdvDBGridEh &grid, const LogicRows &rows);
// The where text the condition builder would hand back for `rows` (query mode).
Result<QString> searchWhereText(const TAdvDBGridEh &grid, const LogicRows &rows);

// Puts the filter of `rows` on the dataset and makes them the filter
// conditions, as a confirmed filter dialog does. A filter the dataset refuses
// leaves the previous one and its conditions in force.
Status applyFilterConditions(TAdvDBGridEh &grid, const LogicRows &rows);
// Columns the listing no longer has are passed over; the rest apply. Footers
// stay with their places, so the count stays in the first column.
void applyColumnLayout(TAdvDBGridEh &grid, const QList<SavedColumn> &columns);
void applySortMarks(TAdvDBGridEh &grid, const QList<SavedSortMark> &marks);

} // namespace sqda
