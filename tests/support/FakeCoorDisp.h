// A scripted data service for tests: answers each dispatch identifier from a
// handler, records every call with its arguments, and counts references.
#pragma once

#include <sqda/ComPtr.h>
#include <sqda/ICoorDisp.h>

#include "data/FieldDef.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

#include <deque>
#include <functional>
#include <map>

namespace sqda::test {

// Builds a packet from field definitions and rows of values (QVariant() = null).
QByteArray makePacket(const FieldDefs &fields, const QList<QVariantList> &rows);
// A packet of string columns only.
QByteArray makeTextPacket(const QStringList &columns, const QList<QStringList> &rows);

class FakeCoorDisp : public ICoorDisp
{
public:
    struct Call
    {
        int dispId;
        QVariantList args; // as the library passed them, before the handler ran
    };
    // A handler may change args (by-reference arguments) and returns the result.
    using Handler = std::function<QVariant(QVariantList &args)>;

    FakeCoorDisp() = default;
    virtual ~FakeCoorDisp() = default;

    // A service on the heap that frees itself when the last reference goes, for
    // tests that hand it to the library (which keeps it until the next entry call).
    using Ref = ComPtr<FakeCoorDisp>;
    static Ref create();

    unsigned long AddRef() override { return ++refCount; }
    unsigned long Release() override
    {
        const long n = --refCount;
        if (n == 0 && m_selfDeleting)
            delete this;
        return n;
    }
    QVariant Invoke(int dispId, QVariantList &args) override;

    // The handler used for every call of dispId (replaces an earlier one).
    void on(int dispId, Handler h) { m_handlers[dispId] = std::move(h); }
    // A handler for the next call of dispId only; queued ones run before on().
    void once(int dispId, Handler h) { m_once[dispId].push_back(std::move(h)); }

    // Shorthands: the call succeeds (or fails) and argument `index` becomes `out`.
    static Handler succeed(int index, QVariant out);
    static Handler fail(int index, QVariant error);
    static Handler throwing(const QString &message);

    // Answers every environment call the screens make at start-up: database kind,
    // server dates, operator name and a parameter table holding `params`.
    void setupEnvironment(const QMap<QString, QString> &params = defaultParameters(),
        const QString &operatorName = QStringLiteral("张三"));
    static QMap<QString, QString> defaultParameters();
    static QByteArray parameterPacket(const QMap<QString, QString> &params);

    QList<int> dispIds() const;
    int count(int dispId) const;
    QList<Call> callsOf(int dispId) const;
    void clearCalls() { calls.clear(); }

    QList<Call> calls;
    long refCount = 0;

private:
    bool m_selfDeleting = false;
    std::map<int, Handler> m_handlers;
    std::map<int, std::deque<Handler>> m_once;
};

inline FakeCoorDisp::Ref FakeCoorDisp::create()
{
    auto *p = new FakeCoorDisp;
    p->m_selfDeleting = true;
    return Ref(p);
}

} // namespace sqda::test
