#include "env/TTesselClass.h"

#include "env/SystemParameters.h"

#include "data/DataError.h"

#include <exception>

namespace sqda {

namespace {

// Host values as text. Empty and null read as the empty text; arrays and other
// structured values have no text and end the call with a message.
QString variantText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QString();
    const int type = v.metaType().id();
    if (type != QMetaType::QVariantList && type != QMetaType::QVariantMap && type != QMetaType::QStringList
        && v.canConvert<QString>())
        return v.toString();
    throw DataError(QStringLiteral("无法把类型为 %1 的值转换为文本！").arg(QString::fromLatin1(v.typeName())));
}

QString messageOf(const std::exception &e)
{
    const QString m = QString::fromUtf8(e.what());
    return m.isEmpty() ? QStringLiteral("未知错误！") : m;
}

} // namespace

TTesselClass::TTesselClass(CoorDispRef service, const Warning &warn)
    : m_service(std::move(service))
{
    try {
        m_dbKind = variantText(m_service.GetDatabaseType());
    } catch (...) {
        if (warn)
            warn(QStringLiteral("获取数据库类型失败!"));
        m_dbKind = QStringLiteral("SQLSERVER");
    }
}

TTesselClass::~TTesselClass() = default;

Status TTesselClass::GetSysmsgInfo(TsysmsgInfo &info, const SysmsgItems &items)
{
    info.DbKind = m_dbKind;
    try {
        if (items.contains(1)) {
            if (!m_service.GetServerYearMonth(m_callValue))
                return Error { QStringLiteral("取得当前年月时出错！") };
            info.ServerYearMonth = variantText(m_callValue);
        }
        if (items.contains(2)) {
            if (!m_service.GetServerDateTime(m_callValue))
                return Error { QStringLiteral("取得当前日期时间时出错！") };
            info.ServerDateTime = variantText(m_callValue);
        }
        if (items.contains(3)) {
            if (!m_service.GetServerDate(m_callValue))
                return Error { QStringLiteral("取得当前日期时出错！") };
            info.ServerDate = variantText(m_callValue).left(8);
        }
        if (items.contains(4) && !info.OperatorCode.isEmpty()) {
            m_callValue = info.OperatorCode;
            if (!m_service.GetOperatorName(m_callValue))
                return Error { QStringLiteral("取得制单人名称时出错！！") };
            m_packetSet.setData(m_callValue.toByteArray());
            info.OperatorName = m_packetSet.fieldByName(u"f_zymc")->asString();
        }

        // Item 2 is not among these: asking for the date and time always goes on
        // to the parameters.
        SysmsgItems rest = items;
        rest.remove(1);
        rest.remove(3);
        rest.remove(4);
        if (rest.isEmpty())
            return Status();
        return loadSystemParameters(info, items);
    } catch (const std::exception &e) {
        return Error { messageOf(e) };
    } catch (...) {
        return Error { QStringLiteral("未知错误！") };
    }
}

Status TTesselClass::loadSystemParameters(TsysmsgInfo &info, const SysmsgItems &items)
{
    if (!m_service.GetSystemParameters(m_callValue))
        return Error { QStringLiteral("取得系统参数时出错！") };
    m_packetSet.setData(m_callValue.toByteArray());

    QList<ParameterRow> rows;
    const Field *key = m_packetSet.fieldByName(u"f_Csmc");
    const Field *value = m_packetSet.fieldByName(u"f_csz");
    rows.reserve(m_packetSet.recordCount());
    for (m_packetSet.first(); !m_packetSet.eof(); m_packetSet.next())
        rows.append({ key->asString(), value->asString() });

    return applySystemParameters(rows, items, info);
}

} // namespace sqda
