// The host's data-service interface, as the library sees it.
//
// A host implements ICoorDisp and hands a pointer to it on every entry call. The
// interface is counted like an automation object: whoever keeps a pointer holds a
// reference (AddRef) and gives it back (Release). Every operation is one Invoke
// with a dispatch identifier and positional arguments; an argument passed "by
// reference" is an element of `args` that the host may replace.
//
// Value conventions:
//   text            QString
//   flag            anything convertible to bool; non-zero is true
//   argument array  QVariantList
//   data packet     QByteArray holding a CBOR packet (docs/packet-format.md)
//   empty           an invalid QVariant
//
// A host may throw from Invoke (an "automation error"); the library catches it
// around every user action and shows its message.
#pragma once

#include <QVariant>
#include <QVariantList>

namespace sqda {

enum DispId : int {
    DispQueryData = 0x60020000,
    DispExecuteSql = 2,
    DispGetServerYearMonth = 4,
    DispGetServerDate = 5,
    DispGetServerDateTime = 6,
    DispGetOperatorName = 10,
    DispGetDatabaseType = 20,
    DispGetSystemParameters = 100,
    DispGetCodeLevels = 720,
    DispCheckAreaCode = 721,
    DispDeleteArea = 722,
    DispInsertArea = 723,
};

class ICoorDisp
{
public:
    virtual unsigned long AddRef() = 0;
    virtual unsigned long Release() = 0;
    virtual QVariant Invoke(int dispId, QVariantList &args) = 0;

protected:
    ~ICoorDisp() = default;
};

} // namespace sqda

using sqda::ICoorDisp;
