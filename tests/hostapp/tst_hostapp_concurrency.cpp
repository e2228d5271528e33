// Two hosts on one database at the same moment: two services, two connections,
// each used from a thread of its own, released at a barrier together.
#include "HostTestDatabase.h"

#include "core/SqlDataService.h"

#include "data/DataStore.h"
#include "data/Packet.h"

#include <QTest>

#include <barrier>
#include <thread>

using namespace kalmora;
using namespace kalmora::test;
using sqda::FieldType;

namespace {

constexpr int Rounds = 12;

QByteArray areaPacket(const QString &code, int level)
{
    sqda::DataStore s({ { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 10, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} } });
    s.appendString(0, QStringLiteral("0101"));
    s.appendString(1, code);
    s.appendString(2, QStringLiteral("并发商圈"));
    s.appendInt(3, level);
    s.appendInt(4, 1);
    s.commitRow();
    return sqda::Packet::encode(s);
}

struct Outcome
{
    bool ok = false;
    QString text; // the answer, or the error lines joined
};

Outcome invoke(SqlDataService *s, int dispId, const QVariant &argument)
{
    QVariantList args { argument };
    Outcome o;
    o.ok = s->Invoke(dispId, args).toBool();
    const QVariant out = args.value(0);
    if (out.typeId() == QMetaType::QVariantList) {
        QStringList lines;
        for (const QVariant &l : out.toList())
            lines << l.toString();
        o.text = lines.join(u' ');
    } else {
        o.text = out.toString();
    }
    return o;
}

int leafFlag(SqlDataService *s, const QString &code)
{
    QVariantList args { QStringLiteral("select f_mj from tbsqda where f_bmbm='0101' and f_sqbm='%1'").arg(code),
        QVariant() };
    if (!s->Invoke(sqda::DispQueryData, args).toBool())
        return -1;
    const auto store = sqda::Packet::decode(args.at(1).toByteArray());
    return store && store->rowCount() == 1 ? int(store->integer(0, 0)) : -2;
}

// Runs `work(host, service)` for hosts 0 and 1 at once, each on its own
// thread with its own service. Returns an error text when a host cannot open.
QString runTwoHosts(const QString &url, const std::function<void(int, SqlDataService *)> &work)
{
    QString errors[2];
    std::thread threads[2];
    for (int host = 0; host < 2; ++host) {
        threads[host] = std::thread([&, host] {
            SqlDataService::Ptr service = SqlDataService::open(url, QStringLiteral("0101"), &errors[host]);
            work(host, service.get()); // a null service is the worker's to report
        });
    }
    for (std::thread &t : threads)
        t.join();
    return errors[0] + errors[1];
}

} // namespace

class TestConcurrency : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameNewCodeAtOnce_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("parent");
        for (const QString &b : backends()) {
            QTest::addRow("%s: top level", qPrintable(b)) << b << QString();
            QTest::addRow("%s: below an area", qPrintable(b)) << b << QStringLiteral("02");
        }
    }
    // Exactly one host stores each code; the other is told it exists.
    void sameNewCodeAtOnce()
    {
        QFETCH(QString, backend);
        QFETCH(QString, parent);
        HostTestDatabase db(backend, &HostTestDatabase::smallChain);
        QVERIFY2(db.isValid(), qPrintable(db.error()));

        auto codeOf = [&](int round) { return parent + QStringLiteral("%1").arg(round + 10, 2, 10, QLatin1Char('0')); };
        const int level = parent.isEmpty() ? 1 : 2;
        std::barrier sync(2);
        Outcome outcomes[2][Rounds];
        const QString openError = runTwoHosts(db.url(), [&](int host, SqlDataService *s) {
            for (int r = 0; r < Rounds; ++r) {
                sync.arrive_and_wait();
                if (s)
                    outcomes[host][r] = invoke(s, sqda::DispInsertArea, areaPacket(codeOf(r), level));
            }
        });
        QVERIFY2(openError.isEmpty(), qPrintable(openError));

        for (int r = 0; r < Rounds; ++r) {
            const Outcome &a = outcomes[0][r];
            const Outcome &b = outcomes[1][r];
            QVERIFY2(a.ok != b.ok, qPrintable(QStringLiteral("round %1: %2 / %3").arg(r).arg(a.text, b.text)));
            const Outcome &loser = a.ok ? b : a;
            const Outcome &winner = a.ok ? a : b;
            QVERIFY2(loser.text.contains(QStringLiteral("已经存在")), qPrintable(loser.text));
            QCOMPARE(winner.text, parent);
            QCOMPARE(areaValue(db.inspect(), QStringLiteral("0101"), codeOf(r), "count(*)").toInt(), 1);
        }
        QCOMPARE(areaCount(db.inspect()), 5 + Rounds);
        if (!parent.isEmpty())
            QCOMPARE(areaValue(db.inspect(), QStringLiteral("0101"), parent, "f_mj").toInt(), 0);
    }

    void deleteOfTheLastChildMeetsANewOne_data() { addBackendColumn(); }
    // One host deletes the only area below 02 while the other adds a new one:
    // whichever commits last, 02 ends up with a child and its leaf flag says so.
    void deleteOfTheLastChildMeetsANewOne()
    {
        QFETCH(QString, backend);
        HostTestDatabase db(backend, &HostTestDatabase::smallChain);
        QVERIFY2(db.isValid(), qPrintable(db.error()));

        std::barrier sync(2);
        Outcome deleted[Rounds], inserted[Rounds];
        int flagAfter[Rounds] = {};
        QString setupError;
        const QString openError = runTwoHosts(db.url(), [&](int host, SqlDataService *s) {
            for (int r = 0; r < Rounds; ++r) {
                const QString old = QStringLiteral("02%1").arg(2 * r + 10);
                const QString fresh = QStringLiteral("02%1").arg(2 * r + 11);
                if (host == 0 && s) {
                    const Outcome o = invoke(s, sqda::DispInsertArea, areaPacket(old, 2));
                    if (!o.ok)
                        setupError += o.text;
                }
                sync.arrive_and_wait();
                if (s) {
                    if (host == 0)
                        deleted[r] = invoke(s, sqda::DispDeleteArea, QVariantList { QStringLiteral("0101"), old });
                    else
                        inserted[r] = invoke(s, sqda::DispInsertArea, areaPacket(fresh, 2));
                }
                sync.arrive_and_wait();
                if (host == 0 && s) {
                    flagAfter[r] = leafFlag(s, QStringLiteral("02"));
                    invoke(s, sqda::DispDeleteArea, QVariantList { QStringLiteral("0101"), fresh });
                }
            }
        });
        QVERIFY2(openError.isEmpty(), qPrintable(openError));
        QVERIFY2(setupError.isEmpty(), qPrintable(setupError));
        for (int r = 0; r < Rounds; ++r) {
            QVERIFY2(deleted[r].ok, qPrintable(deleted[r].text));
            QVERIFY2(inserted[r].ok, qPrintable(inserted[r].text));
            QCOMPARE(flagAfter[r], 0);
        }
        QCOMPARE(areaValue(db.inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_mj").toInt(), 1);
        QCOMPARE(areaCount(db.inspect()), 5);
    }
};

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_hostapp_concurrency.moc"
