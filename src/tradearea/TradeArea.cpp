#include "TradeArea.h"

namespace sqda {

FieldDefs TradeArea::fieldDefs()
{
    return {
        FieldDef { QStringLiteral("f_sqbm"), FieldType::String, CodeWidth, {} },
        FieldDef { QStringLiteral("f_sqmc"), FieldType::String, NameWidth, {} },
        FieldDef { QStringLiteral("f_bmbm"), FieldType::String, DepartmentWidth, {} },
        FieldDef { QStringLiteral("f_mj"), FieldType::Int32, 0, {} },
        FieldDef { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
    };
}

} // namespace sqda
