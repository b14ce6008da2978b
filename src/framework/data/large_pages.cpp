#include "framework/data/large_pages.h"

#include <cstdint>

#include <sys/mman.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace bco {

void adviseLargePages(char *block, qsizetype size) {
#ifdef MADV_HUGEPAGE
    constexpr auto Large = static_cast<std::uintptr_t>(LargePageBytes);
    const auto begin = (reinterpret_cast<std::uintptr_t>(block) + Large - 1) & ~(Large - 1);
    const auto end =
        (reinterpret_cast<std::uintptr_t>(block) + static_cast<std::uintptr_t>(size)) & ~(Large - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(block);
    Q_UNUSED(size);
#endif
}

void keepFreedMemoryForReuse() {
#ifdef __GLIBC__
    // 32 MiB is the largest threshold glibc takes; larger blocks (a whole answer's body) are few and are
    // filled once.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

} // namespace bco
