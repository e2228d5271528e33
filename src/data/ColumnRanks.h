// The sort order of one column, computed once: every row gets a rank, so that
// ordering rows by the column is ordering them by rank. Null is rank 0 (it sorts
// before every value); equal values share a rank; ranks are dense (1..maxRank).
//
// Text order: a column whose values are all ASCII (codes, mostly) sorts by its
// characters; a column holding other text sorts by the Chinese (pinyin) collation.
// Case-insensitive folds case before either. See docs/dataset.md.
#pragma once

#include "DataStore.h"

#include <vector>

namespace sqda {

struct ColumnRanks
{
    std::vector<quint32> ranks; // per store row
    quint32 maxRank = 0;

    static ColumnRanks build(const DataStore &store, int col, bool caseInsensitive);
};

// The stable order of `rowCount` rows by several ranked keys, the first key most
// significant; rows equal on every key keep their store order. `descending` reverses
// one key (nulls then come last).
struct SortKey
{
    const ColumnRanks *ranks;
    bool descending;
};
std::vector<quint32> sortRows(qsizetype rowCount, const std::vector<SortKey> &keys);

} // namespace sqda
