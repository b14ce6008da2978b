#pragma once

#include <QtGlobal>

namespace bco {

// The large page the system grants: a block that should be backed by large pages whole starts on a multiple.
inline constexpr qsizetype LargePageBytes = qsizetype(2) << 20;

// A fresh page costs a fault when first written, and on a virtual machine a fault costs as much as copying
// the page many times over: a block of several MiB that is about to be filled (a long packet's records, its
// encoding) asks for pages of 2 MiB over the part of it they fit, where the system grants them on request.
// Only a hint: nothing changes where it is not granted.
void adviseLargePages(char *block, qsizetype size);

// For the same reason, a process that allocates and frees much on every call keeps what it freed for the
// next call instead of handing it back to the system, which would fault every page in again (and the
// unmapping halts every core at once). The server's calls each take a few hundred kilobytes (packets,
// SQLite's page cache, refilled after another connection wrote), its list of 100,000 entries some 100 MiB; a
// client opening such an account anew decodes as much. Blocks under 32 MiB come from the heaps, and each heap
// keeps up to 256 MiB freed at its top (a thread's heap is at most 64 MiB), so the resident size stays near
// its peak. The server and the host call it once at their start, before they start threads. Only glibc's
// allocator is tuned; elsewhere nothing changes.
void keepFreedMemoryForReuse();

} // namespace bco
