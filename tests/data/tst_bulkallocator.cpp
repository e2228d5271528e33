// Large column buffers released are kept for the next load of a like size,
// within a bound, and given back on request; a kept buffer never serves a
// request it is too small or far too large for.
#include "data/BulkAllocator.h"

#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace sqda;

namespace {
constexpr std::size_t MiB = std::size_t(1) << 20;
}

class TestBulkAllocator : public QObject
{
    Q_OBJECT

private slots:
    void init() { bulkReleasePooled(); }
    void cleanup() { bulkReleasePooled(); }

    // The same buffer comes back with its pages, and stays writable.
    void releasedBufferServesTheNextLikeRequest_data()
    {
        QTest::addColumn<int>("keptMiB");
        QTest::addColumn<int>("askedMiB");
        QTest::addColumn<bool>("reused");
        QTest::newRow("same size") << 8 << 8 << true;
        QTest::newRow("slightly smaller, same rounding") << 8 << 7 << true;
        QTest::newRow("a third smaller") << 12 << 8 << true;
        QTest::newRow("half the size: not pinned") << 16 << 8 << false;
        QTest::newRow("larger than kept") << 8 << 10 << false;
        QTest::newRow("small requests come from the heap") << 8 << 1 << false;
    }
    void releasedBufferServesTheNextLikeRequest()
    {
        QFETCH(int, keptMiB);
        QFETCH(int, askedMiB);
        QFETCH(bool, reused);
        const std::size_t kept = std::size_t(keptMiB) * MiB, asked = std::size_t(askedMiB) * MiB;
        auto *first = static_cast<char *>(bulkAllocate(kept));
        std::memset(first, 0x5a, kept);
        bulkFree(first, kept);
        QCOMPARE(bulkPooledBytes(), kept);

        auto *second = static_cast<char *>(bulkAllocate(asked));
        QCOMPARE(second == first, reused);
        QCOMPARE(bulkPooledBytes(), reused ? std::size_t(0) : kept);
        std::memset(second, 0x33, asked);
        QCOMPARE(second[asked - 1], char(0x33));
        bulkFree(second, asked);
        // Freed under the size it was asked for, a reused buffer is kept at
        // its own; a fresh large one joins it, a small one goes to the heap.
        const std::size_t fresh = asked < 2 * MiB ? 0 : (asked + 2 * MiB - 1) / (2 * MiB) * (2 * MiB);
        QCOMPARE(bulkPooledBytes(), reused ? kept : kept + fresh);
    }

    // Beyond the bound the oldest buffers go back first; one larger than the
    // bound is never kept; release gives everything back.
    void keptBytesStayWithinTheBound()
    {
        const std::size_t block = 64 * MiB; // never touched: costs address space only
        const std::size_t count = BulkPoolLimit / block + 2;
        std::vector<void *> blocks;
        for (std::size_t i = 0; i < count; ++i)
            blocks.push_back(bulkAllocate(block));
        for (void *p : blocks)
            bulkFree(p, block);
        QVERIFY(bulkPooledBytes() <= BulkPoolLimit);
        QCOMPARE(bulkPooledBytes(), (BulkPoolLimit / block) * block);
        // The newest are the ones kept.
        void *again = bulkAllocate(block);
        QVERIFY(again != blocks.front());
        QVERIFY(std::find(blocks.end() - qsizetype(BulkPoolLimit / block), blocks.end(), again) != blocks.end());
        bulkFree(again, block);

        void *huge = bulkAllocate(BulkPoolLimit + block);
        const std::size_t before = bulkPooledBytes();
        bulkFree(huge, BulkPoolLimit + block);
        QCOMPARE(bulkPooledBytes(), before);

        bulkReleasePooled();
        QCOMPARE(bulkPooledBytes(), std::size_t(0));
    }

    // Kept buffers nobody takes back go to the system after the idle time,
    // once the application's event loop runs; one taken back meanwhile is
    // the caller's again and one released later waits its own time.
    void idleBuffersGoBackToTheSystem()
    {
        const auto restore = qScopeGuard([] { setBulkIdleRelease(std::chrono::seconds(30)); });
        setBulkIdleRelease(std::chrono::milliseconds(100));
        const std::size_t block = 8 * MiB;
        void *a = bulkAllocate(block);
        void *b = bulkAllocate(block);
        bulkFree(a, block);
        bulkFree(b, block);
        QCOMPARE(bulkPooledBytes(), 2 * block);
        QTRY_COMPARE_WITH_TIMEOUT(bulkPooledBytes(), std::size_t(0), 5000);

        setBulkIdleRelease(std::chrono::milliseconds(300));
        void *c = bulkAllocate(block);
        bulkFree(c, block);
        QTest::qWait(200);
        void *d = bulkAllocate(block); // taken back before its time
        QCOMPARE(d, c);
        QCOMPARE(bulkPooledBytes(), std::size_t(0));
        QTest::qWait(400);
        bulkFree(d, block);
        QTest::qWait(100);
        QCOMPARE(bulkPooledBytes(), block); // kept afresh: its time starts now
        QTRY_COMPARE_WITH_TIMEOUT(bulkPooledBytes(), std::size_t(0), 5000);
    }
};

QTEST_GUILESS_MAIN(TestBulkAllocator)
#include "tst_bulkallocator.moc"
