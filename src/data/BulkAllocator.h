// An allocator for the dataset's large column buffers.
//
// A million-row result touches about a hundred megabytes of fresh memory; with
// ordinary 4 KiB pages much of the load time goes to page faults. Buffers of
// 2 MiB and more are therefore aligned to 2 MiB, so the kernel can back them
// with transparent huge pages, and marked for them where that cannot stall
// the first touch (see BulkAllocator.cpp); smaller ones come from the heap.
//
// Large buffers released are kept, up to a bound, with their pages still in
// place: the next load of a similar size (the user's next search) takes them
// back instead of having the kernel fault in and clear fresh pages again.
#pragma once

#include <chrono>
#include <cstddef>

namespace sqda {

void *bulkAllocate(std::size_t bytes);
void bulkFree(void *p, std::size_t bytes) noexcept;

// The most bytes of released buffers kept for reuse.
constexpr std::size_t BulkPoolLimit = std::size_t(192) << 20;
// Bytes held in released buffers now.
std::size_t bulkPooledBytes() noexcept;
// How long a released buffer is kept unused before it goes back to the system
// (30 s; checked on the application's thread while its event loop runs).
void setBulkIdleRelease(std::chrono::milliseconds idle) noexcept;
// Gives every kept buffer back to the system (a measurement of memory use
// starts from here, like malloc_trim).
void bulkReleasePooled() noexcept;

template<typename T> struct BulkAllocator
{
    using value_type = T;

    BulkAllocator() = default;
    template<typename U> BulkAllocator(const BulkAllocator<U> &) noexcept { }

    T *allocate(std::size_t n) { return static_cast<T *>(bulkAllocate(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) noexcept { bulkFree(p, n * sizeof(T)); }

    friend bool operator==(const BulkAllocator &, const BulkAllocator &) { return true; }
};

} // namespace sqda
