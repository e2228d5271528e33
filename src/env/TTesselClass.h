// The environment object: what a screen needs to know about its host before it
// can work (database kind, server dates, operator name, system parameters),
// fetched through the data service in one call.
#pragma once

#include "core/Result.h"
#include "env/TsysmsgInfo.h"

#include "data/ClientDataSet.h"
#include "host/CoorDisp.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace sqda {

class TTesselClass
{
public:
    // Receives the constructor's warning while the constructor runs. The
    // screens pass one that shows it (openEnvironment, ScreenEnvironment.h).
    using Warning = std::function<void(const QString &text)>;

    // Asks the host for the database kind at once; on a failure `warn` gets
    // "获取数据库类型失败!" and the kind falls back to "SQLSERVER".
    explicit TTesselClass(CoorDispRef service, const Warning &warn = {});
    ~TTesselClass();

    TTesselClass(const TTesselClass &) = delete;
    TTesselClass &operator=(const TTesselClass &) = delete;

    const QString &DbKind() const { return m_dbKind; }

    // Fills the requested items of `info`. Fails with the message for the user;
    // values obtained before the failure stay. A host call that throws is one
    // such failure: nothing is thrown from here.
    Status GetSysmsgInfo(TsysmsgInfo &info, const SysmsgItems &items);

private:
    Status loadSystemParameters(TsysmsgInfo &info, const SysmsgItems &items);

    CoorDisp m_service;
    QString m_dbKind;
    ClientDataSet m_packetSet;
    QVariant m_callValue;
};

} // namespace sqda
