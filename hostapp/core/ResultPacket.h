// Turns the rows of an executed query into a data packet.
#pragma once

#include "data/FieldDef.h"

#include <QByteArray>
#include <QMetaType>

class QSqlQuery;

namespace kalmora {

class ResultPacket
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
