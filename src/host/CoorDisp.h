// The typed face of the host's data service. All library code calls the host
// through this class; nothing else builds argument lists by dispatch identifier.
//
// Each operation returns the host's success flag. An argument named "inOut" is
// passed by reference: the host may replace it, and on failure it carries the
// host's error value (normally an array of message lines, see ShowHostError).
#pragma once

#include "CoorDispRef.h"

#include <QVariant>

namespace sqda {

class CoorDisp
{
public:
    explicit CoorDisp(CoorDispRef service)
        : m_service(std::move(service))
    {
    }
    // The data service of the latest entry call, taken at the moment of the call
    // (defined with the host context, in sqda_host).
    static CoorDisp current();

    bool isValid() const { return bool(m_service); }

    bool QueryData(const QString &statement, QVariant &packet);
    bool ExecuteSql(QVariant &statementInOut);
    bool GetServerYearMonth(QVariant &out);
    bool GetServerDate(QVariant &out);
    bool GetServerDateTime(QVariant &out);
    bool GetOperatorName(QVariant &codeInPacketOut);
    QVariant GetDatabaseType();
    bool GetSystemParameters(QVariant &packetOut);
    bool GetCodeLevels(QVariant &departmentInLevelsOut);
    bool CheckAreaCode(QVariant &arrayInOut); // [0] department, [1] code -> [0] question, [1] level
    bool DeleteArea(QVariant &arrayInOut); // [0] department, [1] code
    bool InsertArea(QVariant &packetInParentOut);

    // An argument array of two texts, as CheckAreaCode and DeleteArea take it.
    static QVariant argumentArray(const QString &first, const QString &second);
    // The host's success flag: any non-zero value is true.
    static bool isSuccess(const QVariant &flag);

private:
    QVariant invoke(int dispId, QVariantList &args);
    bool invokeFlag(int dispId, QVariantList &args) { return isSuccess(invoke(dispId, args)); }
    bool callByRef(int dispId, QVariant &inOut);

    CoorDispRef m_service;
};

} // namespace sqda
