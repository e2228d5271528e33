// Faults in, on a second thread, the pages a large load is about to write.
//
// A million-row load writes about a hundred megabytes of fresh memory, and on
// ordinary 4 KiB pages a third of its time went to the kernel handing out and
// clearing those pages one fault at a time. The warmer asks the kernel for
// them ahead of the writer (MADV_POPULATE_WRITE, Linux 5.14 and later), so that
// work runs on another core while the load decodes. It changes no byte: where
// the kernel or the machine cannot do it, or the load is small, it does nothing
// and the writer faults the pages in itself as before.
//
// Two kinds of regions: buffers filled evenly over the whole load (a column's
// values, one per row) are warmed in even steps; a buffer whose final size is
// not known (the text arena, reserved for the worst case) is warmed at most
// a little ahead of what the writer reports through progress() (a 32nd of the
// buffer, `MaxLead` at most), so few pages the load never reaches are taken.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace sqda {

class PageWarmer
{
public:
    // Below this many bytes in all, starting a thread costs more than it saves.
    static constexpr std::size_t MinBytes = std::size_t(8) << 20;
    static constexpr std::size_t MaxLead = std::size_t(2) << 20;

    PageWarmer() = default;
    ~PageWarmer() { stop(); }
    PageWarmer(const PageWarmer &) = delete;
    PageWarmer &operator=(const PageWarmer &) = delete;

    // Before start(): a buffer written front to back over the whole load.
    void addEven(const void *p, std::size_t bytes);
    // Before start(): the buffer whose writer reports its progress.
    void setFollowed(const void *p, std::size_t bytes);
    // Starts the thread when there is enough to warm and the system can.
    void start();
    // How many bytes of the followed buffer the writer has filled.
    void progress(std::size_t bytesWritten) { m_written.store(bytesWritten, std::memory_order_relaxed); }
    // Ends the warming; returns once the thread is gone. Idempotent.
    void stop();

private:
    struct Region
    {
        char *begin;
        std::size_t bytes;
        std::size_t done = 0;
    };
    void run();
    std::size_t lead() const { return std::min(MaxLead, m_followed.bytes / 32); }
    bool warm(Region &r, std::size_t upTo);

    std::vector<Region> m_even;
    Region m_followed { nullptr, 0 };
    std::atomic<std::size_t> m_written { 0 };
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

} // namespace sqda
