#include "CoorDisp.h"

#include "data/DataError.h"

namespace sqda {

QVariant CoorDisp::invoke(int dispId, QVariantList &args)
{
    if (!m_service)
        throw DataError(QStringLiteral("没有可利用的数据服务！"));
    return m_service.get()->Invoke(dispId, args);
}

bool CoorDisp::isSuccess(const QVariant &flag)
{
    if (!flag.isValid() || flag.isNull())
        return false;
    bool ok = false;
    const qlonglong n = flag.toLongLong(&ok);
    if (ok)
        return n != 0;
    return flag.toBool();
}

bool CoorDisp::callByRef(int dispId, QVariant &inOut)
{
    QVariantList args { inOut };
    const bool ok = invokeFlag(dispId, args);
    if (!args.isEmpty())
        inOut = args.first();
    return ok;
}

bool CoorDisp::QueryData(const QString &statement, QVariant &packet)
{
    QVariantList args { statement, packet };
    const bool ok = invokeFlag(DispQueryData, args);
    if (args.size() > 1)
        packet = args.at(1);
    return ok;
}

bool CoorDisp::ExecuteSql(QVariant &statementInOut)
{
    return callByRef(DispExecuteSql, statementInOut);
}

bool CoorDisp::GetServerYearMonth(QVariant &out)
{
    return callByRef(DispGetServerYearMonth, out);
}

bool CoorDisp::GetServerDate(QVariant &out)
{
    return callByRef(DispGetServerDate, out);
}

bool CoorDisp::GetServerDateTime(QVariant &out)
{
    return callByRef(DispGetServerDateTime, out);
}

bool CoorDisp::GetOperatorName(QVariant &codeInPacketOut)
{
    QVariantList args { 1, codeInPacketOut };
    const bool ok = invokeFlag(DispGetOperatorName, args);
    if (args.size() > 1)
        codeInPacketOut = args.at(1);
    return ok;
}

QVariant CoorDisp::GetDatabaseType()
{
    QVariantList args;
    return invoke(DispGetDatabaseType, args);
}

bool CoorDisp::GetSystemParameters(QVariant &packetOut)
{
    return callByRef(DispGetSystemParameters, packetOut);
}

bool CoorDisp::GetCodeLevels(QVariant &departmentInLevelsOut)
{
    return callByRef(DispGetCodeLevels, departmentInLevelsOut);
}

bool CoorDisp::CheckAreaCode(QVariant &arrayInOut)
{
    return callByRef(DispCheckAreaCode, arrayInOut);
}

bool CoorDisp::DeleteArea(QVariant &arrayInOut)
{
    return callByRef(DispDeleteArea, arrayInOut);
}

bool CoorDisp::InsertArea(QVariant &packetInParentOut)
{
    return callByRef(DispInsertArea, packetInParentOut);
}

QVariant CoorDisp::argumentArray(const QString &first, const QString &second)
{
    return QVariantList { first, second };
}

} // namespace sqda
