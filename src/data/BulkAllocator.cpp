#include "BulkAllocator.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define SQDA_BULK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SQDA_BULK_ASAN 1
#endif
#endif
#ifdef SQDA_BULK_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace sqda {

namespace {
constexpr std::size_t HugePage = std::size_t(2) << 20;

// Whether marking a buffer for huge pages is free of stalls. With the kernel's
// defrag policy at "always", "madvise" or "defer+madvise" (Debian's default
// is "madvise"), a marked region is compacted synchronously when it is first
// touched: the first million-row load in a process then took 460 to 520 ms
// instead of about 100 ms, and a user's search is often the first one in its
// process. Where the kernel only defers ("defer", "never") the mark takes
// huge pages that are free and costs nothing else; elsewhere buffers stay on
// ordinary pages, which every load pays alike.
bool hugePagesWithoutStall()
{
#ifdef __linux__
    static const bool ok = [] {
        std::FILE *f = std::fopen("/sys/kernel/mm/transparent_hugepage/defrag", "r");
        if (!f)
            return false;
        char text[128] = {};
        const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
        std::fclose(f);
        text[n] = 0;
        // The policy in force is the bracketed word: "always defer [madvise] never".
        const char *open = std::strchr(text, '[');
        const char *close = open ? std::strchr(open, ']') : nullptr;
        if (!close)
            return false;
        const std::string policy(open + 1, close);
        return policy == "defer" || policy == "never";
    }();
    return ok;
#else
    return false;
#endif
}

// Large buffers released and kept for reuse, and those handed out, by their
// true size: a kept buffer may serve a somewhat smaller request, and the
// caller frees it naming the size it asked for.
struct Block
{
    void *p;
    std::size_t bytes;
    std::chrono::steady_clock::time_point keptSince {};
};

using Clock = std::chrono::steady_clock;
std::atomic<std::int64_t> g_idleReleaseMs { 30'000 };

class Pool
{
public:
    // A kept buffer of at least `bytes` (already rounded), at most half as
    // large again, so a small request does not pin a large buffer.
    void *take(std::size_t bytes)
    {
        const std::lock_guard lock(m_mutex);
        auto best = m_kept.end();
        for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
            if (it->bytes >= bytes && it->bytes <= bytes + bytes / 2
                && (best == m_kept.end() || it->bytes < best->bytes))
                best = it;
        }
        if (best == m_kept.end())
            return nullptr;
        const Block b = *best;
        m_out.push_back(b); // first: should it throw, the buffer is still kept
        m_kept.erase(best);
        m_keptBytes -= b.bytes;
#ifdef SQDA_BULK_ASAN
        ASAN_UNPOISON_MEMORY_REGION(b.p, b.bytes);
#endif
        return b.p;
    }

    void handedOut(void *p, std::size_t bytes)
    {
        const std::lock_guard lock(m_mutex);
        m_out.push_back({ p, bytes });
    }

    // Keeps `p`, releasing the oldest kept buffers beyond the bound.
    void put(void *p) noexcept
    {
        const std::lock_guard lock(m_mutex);
        const auto it = std::find_if(m_out.begin(), m_out.end(), [p](const Block &b) { return b.p == p; });
        if (it == m_out.end())
            return std::free(p); // not handed out here: nothing to keep
        const Block b = *it;
        *it = m_out.back();
        m_out.pop_back();
        if (b.bytes > BulkPoolLimit)
            return std::free(b.p);
        try {
            m_kept.push_back({ b.p, b.bytes, Clock::now() });
        } catch (const std::bad_alloc &) {
            return std::free(b.p); // no room to note it: given back instead
        }
        m_keptBytes += b.bytes;
#ifdef SQDA_BULK_ASAN
        ASAN_POISON_MEMORY_REGION(b.p, b.bytes); // a use after release still shows
#endif
        while (m_keptBytes > BulkPoolLimit) {
            freeBlock(m_kept.front());
            m_keptBytes -= m_kept.front().bytes;
            m_kept.erase(m_kept.begin());
        }
    }

    std::size_t keptBytes()
    {
        const std::lock_guard lock(m_mutex);
        return m_keptBytes;
    }

    // Gives back the buffers kept for longer than `idle`; true when some are
    // still kept.
    bool releaseIdle(std::chrono::milliseconds idle) noexcept
    {
        std::vector<Block> old;
        bool left = false;
        {
            const std::lock_guard lock(m_mutex);
            const auto cut = Clock::now() - idle;
            const auto young = std::stable_partition(
                m_kept.begin(), m_kept.end(), [cut](const Block &b) { return b.keptSince <= cut; });
            try {
                old.assign(m_kept.begin(), young);
            } catch (const std::bad_alloc &) {
                return true; // tried again at the next check
            }
            for (const Block &b : old)
                m_keptBytes -= b.bytes;
            m_kept.erase(m_kept.begin(), young);
            left = !m_kept.empty();
        }
        for (const Block &b : old)
            freeBlock(b);
        return left;
    }

    // One check at a time waits on the application's thread.
    std::atomic_bool checkPending { false };

    void releaseAll() noexcept
    {
        std::vector<Block> kept;
        {
            const std::lock_guard lock(m_mutex);
            kept.swap(m_kept);
            m_keptBytes = 0;
        }
        for (const Block &b : kept)
            freeBlock(b);
    }

private:
    // A kept buffer back to the system.
    static void freeBlock(const Block &b) noexcept
    {
#ifdef SQDA_BULK_ASAN
        ASAN_UNPOISON_MEMORY_REGION(b.p, b.bytes);
#endif
        std::free(b.p);
    }

    std::mutex m_mutex;
    std::vector<Block> m_kept; // oldest first
    std::vector<Block> m_out;
    std::size_t m_keptBytes = 0;
};

// Never destroyed: datasets held in statics are freed after this file's
// statics would be.
Pool &pool()
{
    static Pool *const p = new Pool;
    return *p;
}
} // namespace

namespace {
// Buffers kept but not taken back within the idle time are given back to the
// system, so a host that has closed its listings does not hold their memory:
// a check runs on the application's thread while any are kept. Without an
// application (a tool, a test) they stay until bulkReleasePooled().
void scheduleIdleRelease() noexcept
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || pool().checkPending.exchange(true))
        return;
    try {
        QMetaObject::invokeMethod(
            app,
            [] {
                QTimer::singleShot(std::chrono::milliseconds(g_idleReleaseMs.load()), QCoreApplication::instance(), [] {
                    pool().checkPending = false;
                    if (pool().releaseIdle(std::chrono::milliseconds(g_idleReleaseMs.load())))
                        scheduleIdleRelease();
                });
            },
            Qt::QueuedConnection);
    } catch (...) {
        pool().checkPending = false; // the next release tries again
    }
}
} // namespace

void *bulkAllocate(std::size_t bytes)
{
    if (bytes < HugePage)
        return ::operator new(bytes);
    const std::size_t rounded = (bytes + HugePage - 1) & ~(HugePage - 1);
    if (void *kept = pool().take(rounded))
        return kept;
    void *p = std::aligned_alloc(HugePage, rounded);
    if (!p)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (hugePagesWithoutStall())
        madvise(p, rounded, MADV_HUGEPAGE); // a hint: without it the buffer still works
#endif
    try {
        pool().handedOut(p, rounded);
    } catch (...) {
        std::free(p);
        throw;
    }
    return p;
}

void bulkFree(void *p, std::size_t bytes) noexcept
{
    if (!p)
        return;
    if (bytes < HugePage)
        ::operator delete(p);
    else {
        pool().put(p);
        if (pool().keptBytes() > 0)
            scheduleIdleRelease();
    }
}

std::size_t bulkPooledBytes() noexcept
{
    return pool().keptBytes();
}

void bulkReleasePooled() noexcept
{
    pool().releaseAll();
}

void setBulkIdleRelease(std::chrono::milliseconds idle) noexcept
{
    g_idleReleaseMs = std::max<std::int64_t>(0, idle.count());
}

} // namespace sqda
