// The chain's system parameters: which key feeds which field of TsysmsgInfo,
// how its text value converts, and what a missing key means.
//
// The rules are one table in processing order; the load walks it once and
// stops at the first failure, so the message a user sees is always that of the
// earliest missing or unusable key.
#pragma once

#include "core/Result.h"
#include "env/TsysmsgInfo.h"

#include <QList>
#include <QString>

#include <optional>
#include <span>
#include <variant>

namespace sqda {

using ParameterField
    = std::variant<QString TsysmsgInfo::*, qint32 TsysmsgInfo::*, bool TsysmsgInfo::*, double TsysmsgInfo::*>;

enum class ParamRule {
    Text, // the value as it is
    Number, // a 32-bit whole number
    Flag, // true exactly for "1"
    DeptCode, // dybm: required only for the unit types that sell at front counters
    OneOrZero, // "1" for "1", otherwise "0"
    AccountingMethod, // sphsfs: a whole number; missing is 1 for unit type "00"
    BlankIsLimit, // a whole number; a value of spaces only means 100000
    EmptyIsZero, // a whole number; an empty value means 0
    QuantityMask, // sljd: n becomes "0." followed by n zeros
    Real, // a double-precision number
    DependentFlag, // mdzdyjj: read only when mdzdysj is on
};

enum class OnMissing {
    Fail, // `missing` is the message
    Default // `missing` is the value text the rule then converts
};

struct ParameterRule
{
    static constexpr int Always = -1; // read by every parameter load

    int item;
    const char *key;
    ParameterField field;
    ParamRule rule;
    OnMissing onMissing;
    const char *missing; // UTF-8
    bool exactCase = false; // the key must match with its letter case
};

// All rules, in processing order (dwlx first).
std::span<const ParameterRule> parameterRules();

struct ParameterRow
{
    QString key; // f_Csmc
    QString value; // f_csz
};

// Fills the requested items of `info` from the rows of the parameter table,
// dwlx always. Fails with the message of the first failure; fields set before
// it keep their new values.
Status applySystemParameters(const QList<ParameterRow> &rows, const SysmsgItems &items, TsysmsgInfo &info);

} // namespace sqda
