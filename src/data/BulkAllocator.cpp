#include "BulkAllocator.h"

#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace sqda {

namespace {
constexpr std::size_t HugePage = std::size_t(2) << 20;
}

void *bulkAllocate(std::size_t bytes)
{
    if (bytes < HugePage)
        return ::operator new(bytes);
    const std::size_t rounded = (bytes + HugePage - 1) & ~(HugePage - 1);
    void *p = std::aligned_alloc(HugePage, rounded);
    if (!p)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, rounded, MADV_HUGEPAGE); // a hint: without it the buffer still works
#endif
    return p;
}

void bulkFree(void *p, std::size_t bytes) noexcept
{
    if (!p)
        return;
    if (bytes < HugePage)
        ::operator delete(p);
    else
        std::free(p);
}

} // namespace sqda
