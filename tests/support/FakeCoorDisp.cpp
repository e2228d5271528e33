#include "FakeCoorDisp.h"

#include "data/DataStore.h"
#include "data/Packet.h"

#include <stdexcept>

namespace sqda::test {

QByteArray makePacket(const FieldDefs &fields, const QList<QVariantList> &rows)
{
    DataStore store(fields);
    for (const QVariantList &row : rows) {
        for (int c = 0; c < fields.size(); ++c)
            store.appendValue(c, c < row.size() ? row.at(c) : QVariant());
        store.commitRow();
    }
    return Packet::encode(store);
}

QByteArray makeTextPacket(const QStringList &columns, const QList<QStringList> &rows)
{
    FieldDefs defs;
    for (const QString &c : columns)
        defs << FieldDef { c, FieldType::String, 40, {} };
    QList<QVariantList> values;
    for (const QStringList &r : rows) {
        QVariantList v;
        for (const QString &s : r)
            v << s;
        values << v;
    }
    return makePacket(defs, values);
}

QVariant FakeCoorDisp::Invoke(int dispId, QVariantList &args)
{
    calls.push_back({ dispId, args });
    auto q = m_once.find(dispId);
    if (q != m_once.end() && !q->second.empty()) {
        Handler h = std::move(q->second.front());
        q->second.pop_front();
        return h(args);
    }
    auto it = m_handlers.find(dispId);
    if (it != m_handlers.end())
        return it->second(args);
    // Unscripted calls fail the way a host reports a failure.
    if (!args.isEmpty())
        args.last() = QVariantList { QStringLiteral("未编排的调用 %1").arg(dispId) };
    return false;
}

FakeCoorDisp::Handler FakeCoorDisp::succeed(int index, QVariant out)
{
    return [index, out](QVariantList &args) -> QVariant {
        if (index >= 0 && index < args.size())
            args[index] = out;
        return true;
    };
}

FakeCoorDisp::Handler FakeCoorDisp::fail(int index, QVariant error)
{
    return [index, error](QVariantList &args) -> QVariant {
        if (index >= 0 && index < args.size())
            args[index] = error;
        return false;
    };
}

FakeCoorDisp::Handler FakeCoorDisp::throwing(const QString &message)
{
    return [message](QVariantList &) -> QVariant { throw std::runtime_error(message.toStdString()); };
}

QMap<QString, QString> FakeCoorDisp::defaultParameters()
{
    return {
        { QStringLiteral("dwlx"), QStringLiteral("01") },
        { QStringLiteral("dybm"), QStringLiteral("0101") },
        { QStringLiteral("dwmc"), QStringLiteral("示例连锁总部") },
        { QStringLiteral("qyny"), QStringLiteral("202601") },
        { QStringLiteral("zbbm"), QStringLiteral("01") },
    };
}

QByteArray FakeCoorDisp::parameterPacket(const QMap<QString, QString> &params)
{
    QList<QStringList> rows;
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        rows << QStringList { it.key(), it.value() };
    return makeTextPacket({ QStringLiteral("f_Csmc"), QStringLiteral("f_csz") }, rows);
}

void FakeCoorDisp::setupEnvironment(const QMap<QString, QString> &params, const QString &operatorName)
{
    on(DispGetDatabaseType, [](QVariantList &) -> QVariant { return QStringLiteral("SQLSERVER"); });
    on(DispGetServerYearMonth, succeed(0, QStringLiteral("202612")));
    on(DispGetServerDate, succeed(0, QStringLiteral("20261209")));
    on(DispGetServerDateTime, succeed(0, QStringLiteral("2026120910:11:12")));
    on(DispGetOperatorName, succeed(1, makeTextPacket({ QStringLiteral("f_zymc") }, { QStringList { operatorName } })));
    on(DispGetSystemParameters, succeed(0, parameterPacket(params)));
}

QList<int> FakeCoorDisp::dispIds() const
{
    QList<int> out;
    for (const Call &c : calls)
        out << c.dispId;
    return out;
}

int FakeCoorDisp::count(int dispId) const
{
    return int(std::count_if(calls.cbegin(), calls.cend(), [dispId](const Call &c) { return c.dispId == dispId; }));
}

QList<FakeCoorDisp::Call> FakeCoorDisp::callsOf(int dispId) const
{
    QList<Call> out;
    for (const Call &c : calls) {
        if (c.dispId == dispId)
            out << c;
    }
    return out;
}

} // namespace sqda::test
