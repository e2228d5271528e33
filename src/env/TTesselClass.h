// The environment object: what a screen needs to know about its host before it
// can work (database kind, server dates, operator name, system parameters),
// fetched through the data service in one call.
#pragma once

#include "env/TsysmsgInfo.h"

#include "data/ClientDataSet.h"
#include "host/CoorDisp.h"

#include <QPointer>
#include <QString>
#include <QVariant>

class QWidget;

namespace sqda {

class TTesselClass
{
public:
    // Asks the host for the database kind at once; a failure is shown as a
    // warning owned by `window` (or the application's main window) and the kind
    // falls back to "SQLSERVER".
    TTesselClass(CoorDispRef service, QWidget *window);
    ~TTesselClass();

    TTesselClass(const TTesselClass &) = delete;
    TTesselClass &operator=(const TTesselClass &) = delete;

    const QString &DbKind() const { return m_dbKind; }

    // Fills the requested items of `info`. On failure returns false with the
    // message for the user in `errorText`; values obtained before it stay.
    bool GetSysmsgInfo(TsysmsgInfo &info, const SysmsgItems &items, QString &errorText);

private:
    bool loadSystemParameters(TsysmsgInfo &info, const SysmsgItems &items, QString &errorText);

    QPointer<QWidget> m_ownerWindow;
    CoorDisp m_service;
    QString m_dbKind;
    ClientDataSet m_packetSet;
    QVariant m_callValue;
};

} // namespace sqda
