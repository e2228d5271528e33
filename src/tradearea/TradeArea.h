// One trade area: a row of the host table tbsqda.
#pragma once

#include "data/FieldDef.h"

#include <QString>

namespace sqda {

struct TradeArea
{
    QString f_bmbm; // department that owns the area
    QString f_sqbm; // area code, unique within the department
    QString f_sqmc; // area name
    qint32 f_jb = 0; // level: 1 for a top-level area
    qint32 f_mj = 0; // 1 marks a leaf

    // The longest code the code edit accepts, and the width the row set declares
    // for it: a code is never cut short on its way to the host.
    static constexpr int CodeWidth = 12;
    static constexpr int NameWidth = 40;
    static constexpr int DepartmentWidth = 12;

    // The columns of the screen's row set, as sent to the host with a new area.
    static FieldDefs fieldDefs();
};

} // namespace sqda
