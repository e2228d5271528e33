// A filter expression bound to a dataset's columns and ready to run.
//
// Binding resolves field names, converts every literal to the type of the field it
// is compared with (see docs/dataset.md for the rules) and rewrites NOT away, so that
// a comparison with a null value is never true, with or without NOT, as in SQL.
// Running it sweeps one column at a time over the candidate rows.
#pragma once

#include "DataStore.h"
#include "FilterExpression.h"
#include "core/Result.h"

#include <memory>
#include <vector>

namespace sqda {

struct FilterStep;

class FilterProgram
{
public:
    FilterProgram();
    ~FilterProgram();
    FilterProgram(FilterProgram &&) noexcept;
    FilterProgram &operator=(FilterProgram &&) noexcept;

    static Result<FilterProgram> bind(const FilterExpression &expression, const FieldDefs &fields);

    // True when every row passes (the empty expression, or one that folds to true).
    bool passesAll() const;
    // The rows of `candidates` that pass, in their order; all store rows in store
    // order when `candidates` is null.
    std::vector<quint32> select(const DataStore &store, const std::vector<quint32> *candidates = nullptr) const;
    bool passes(const DataStore &store, qsizetype row) const;

private:
    std::unique_ptr<FilterStep> m_root; // null: every row passes
};

} // namespace sqda
