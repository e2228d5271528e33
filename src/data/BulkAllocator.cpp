#include "BulkAllocator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#ifdef __linux__
#include <sys/mman.h>
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
} // namespace

void *bulkAllocate(std::size_t bytes)
{
    if (bytes < HugePage)
        return ::operator new(bytes);
    const std::size_t rounded = (bytes + HugePage - 1) & ~(HugePage - 1);
    void *p = std::aligned_alloc(HugePage, rounded);
    if (!p)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (hugePagesWithoutStall())
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
