#include "PageWarmer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace sqda {

namespace {

#ifdef __linux__
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older headers lack the name
#endif

std::size_t pageSize()
{
    static const std::size_t size = [] {
        const long s = sysconf(_SC_PAGESIZE);
        return s > 0 ? std::size_t(s) : std::size_t(4096);
    }();
    return size;
}
#endif

// Even buffers are warmed in this many steps, all buffers a step at a time,
// so each stays ahead of a writer that fills them all row by row.
constexpr int Steps = 32;
// One request to the kernel at most: the thread looks at stop() between them.
constexpr std::size_t Chunk = std::size_t(1) << 20;

} // namespace

void PageWarmer::addEven(const void *p, std::size_t bytes)
{
    if (p && bytes)
        m_even.push_back({ static_cast<char *>(const_cast<void *>(p)), bytes });
}

void PageWarmer::setFollowed(const void *p, std::size_t bytes)
{
    m_followed = { static_cast<char *>(const_cast<void *>(p)), p ? bytes : 0 };
}

void PageWarmer::start()
{
#ifdef __linux__
    std::size_t total = m_followed.bytes;
    for (const Region &r : m_even)
        total += r.bytes;
    // On a single processor the thread would only take turns with the writer.
    static const bool spareProcessor = std::thread::hardware_concurrency() > 1;
    if (total < MinBytes || m_thread.joinable() || !spareProcessor)
        return;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        // No thread to spare: the writer faults its pages in itself.
    }
#endif
}

void PageWarmer::stop()
{
    m_stop.store(true, std::memory_order_relaxed);
    if (m_thread.joinable())
        m_thread.join();
}

// Faults in the whole pages of `r` below `upTo`; false when the kernel cannot.
bool PageWarmer::warm(Region &r, std::size_t upTo)
{
#ifdef __linux__
    const std::size_t page = pageSize();
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(r.begin);
    while (r.done < upTo && !m_stop.load(std::memory_order_relaxed)) {
        const std::size_t end = std::min(upTo, r.done + Chunk);
        // Whole pages inside [done, end): the region's edge pages may be
        // shared with other memory, which the writer then faults in itself.
        const std::uintptr_t from = (base + r.done + page - 1) & ~std::uintptr_t(page - 1);
        const std::uintptr_t to = (base + end) & ~std::uintptr_t(page - 1);
        if (to > from && madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE) != 0)
            return false; // an older kernel (EINVAL) or no memory to spare: leave it to the writer
        r.done = end;
    }
    return true;
#else
    (void)r;
    (void)upTo;
    return false;
#endif
}

void PageWarmer::run()
{
    for (int step = 1; step <= Steps; ++step) {
        for (Region &r : m_even) {
            if (!warm(r, r.bytes / Steps * std::size_t(step) + (step == Steps ? r.bytes % Steps : 0)))
                return;
        }
        // The followed buffer between the even steps, so neither falls behind.
        const std::size_t ahead = m_written.load(std::memory_order_relaxed) + lead();
        if (!warm(m_followed, std::min(ahead, m_followed.bytes)))
            return;
    }
    while (m_followed.done < m_followed.bytes && !m_stop.load(std::memory_order_relaxed)) {
        const std::size_t ahead = std::min(m_written.load(std::memory_order_relaxed) + lead(), m_followed.bytes);
        if (ahead <= m_followed.done) {
            // Far enough ahead: wait for the writer, a fraction of what it
            // takes to fill the lead.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        if (!warm(m_followed, ahead))
            return;
    }
}

} // namespace sqda
