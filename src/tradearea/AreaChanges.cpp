#include "AreaChanges.h"

#include "AreaSql.h"
#include "TradeArea.h"

#include "data/ClientDataSet.h"
#include "host/ShowHostError.h"

namespace sqda {

namespace {

Error hostRefused(const QVariant &value)
{
    return Error { composeHostError(value, QString()) };
}

} // namespace

AreaChanges::AreaChanges(CoorDisp host, QString department)
    : m_host(std::move(host))
    , m_department(std::move(department))
{
}

Result<int> AreaChanges::CodeCheck::level() const
{
    bool ok = false;
    const int value = levelText.trimmed().toInt(&ok);
    if (!ok)
        return Error { QStringLiteral("'%1' is not a valid integer value").arg(levelText) };
    return value;
}

Result<AreaChanges::CodeCheck> AreaChanges::checkCode(const QString &code)
{
    QVariant args = CoorDisp::argumentArray(m_department, code);
    if (!m_host.CheckAreaCode(args))
        return hostRefused(args);
    const QVariantList answer = args.toList();
    return CodeCheck { answer.value(0).toString(), answer.value(1).toString() };
}

Result<QString> AreaChanges::insert(ClientDataSet &rows, const QString &code, const QString &name, int level)
{
    // The new row in the screen's own five columns, whatever the last query held.
    rows.createDataSet(TradeArea::fieldDefs());
    rows.append();
    rows.fieldByName(u"f_bmbm")->setValue(m_department);
    rows.fieldByName(u"f_sqbm")->setValue(code);
    rows.fieldByName(u"f_sqmc")->setValue(name);
    rows.fieldByName(u"f_jb")->setValue(level);
    rows.fieldByName(u"f_mj")->setValue(1);
    rows.post();

    QVariant packet = rows.data();
    if (!m_host.InsertArea(packet))
        return hostRefused(packet);
    return packet.toString();
}

Status AreaChanges::remove(const QString &code)
{
    QVariant args = CoorDisp::argumentArray(m_department, code);
    if (!m_host.DeleteArea(args))
        return hostRefused(args);
    return Status();
}

Status AreaChanges::rename(const QString &code, const QString &name)
{
    QVariant statement = AreaSql::rename(name, code, m_department);
    if (!m_host.ExecuteSql(statement))
        return hostRefused(statement);
    return Status();
}

} // namespace sqda
