// The reference the streaming query encoder (core/QueryPacket) is checked
// against: rows read through Qt SQL into QVariants, types settled over all of
// them, then a DataStore encoded as a packet. This is how the host answered
// QueryData before it streamed rows; the streamed packets must decode to the
// same rows.
#pragma once

#include "data/FieldDef.h"

#include <QByteArray>
#include <QMetaType>

class QSqlQuery;

namespace kalmora {

class ReferencePacket
{
public:
    // Reads every remaining row of `query`. Column names are lower-cased (the
    // engines disagree on the case of unquoted names); types follow the driver's
    // column types, widened where a value does not fit (SQLite stores any value
    // in any column). Throws SqlFailure when reading fails.
    static QByteArray fromQuery(QSqlQuery &query);

    // The packet type for a column the driver reports as `type`.
    static sqda::FieldType fieldTypeFor(QMetaType type);
};

} // namespace kalmora
