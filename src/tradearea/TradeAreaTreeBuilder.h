// Where each row of a tree load goes, decided from the rows' levels alone.
//
// Rows arrive in code order. A level-1 row goes under the root. A row of level L
// (2 to 12) goes under the last row of level L - 1 before it, or at the top of
// the tree beside the root when no such row came yet. Rows of other levels get
// no node. The last row of each level is remembered for the whole pass, even
// after rows of lower levels have followed.
#pragma once

#include "core/Result.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace sqda {

class DataStore;

class TradeAreaTreeBuilder
{
public:
    static constexpr int MaxLevel = 12;

    // Placement of one row: a row index (its parent), or one of these.
    enum : std::int32_t {
        UnderRoot = -1, // last child of the root node
        TopLevel = -2, // top level of the tree, beside the root
        NoNode = -3, // the row is not shown
    };

    // Where the rows' codes go: apart (`codes`), or only as the texts'
    // beginnings (`codeLengths`), which saves a text per row.
    enum class Codes { Apart, InTexts };
    struct Rows
    {
        std::vector<QString> texts; // node texts: code, one space, name, as the host sent them
        std::vector<QString> codes; // the rows' codes, as the host sent them (Codes::Apart)
        std::vector<std::int32_t> codeLengths; // their lengths at the texts' beginnings (Codes::InTexts)
        std::vector<std::int32_t> levels;
    };
    // The node texts, codes and levels of a tree load's rows (columns f_sqbm,
    // f_sqmc and f_jb, names matched without regard to case; a null level
    // counts as 0). Fails for a missing column or a level that is no whole
    // number.
    static Result<Rows> readRows(const DataStore &store, Codes codes = Codes::Apart);

    // One placement per level, in row order.
    static std::vector<std::int32_t> place(const std::vector<std::int32_t> &levels);

    // Incremental form of place(), for callers that read levels one by one.
    std::int32_t next(std::int32_t level);

private:
    std::int32_t m_row = 0;
    std::int32_t m_last[MaxLevel + 1]
        = { NoNode, NoNode, NoNode, NoNode, NoNode, NoNode, NoNode, NoNode, NoNode, NoNode, NoNode, NoNode, NoNode };
};

} // namespace sqda
