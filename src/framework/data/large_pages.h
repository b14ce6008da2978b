#pragma once

#include <QtGlobal>

namespace bco {

// A fresh page costs a fault when first written, and on a virtual machine a fault costs as much as copying
// the page many times over: a block of several MiB that is about to be filled (a long packet's records, its
// encoding) asks for pages of 2 MiB over the part of it they fit, where the system grants them on request.
// Only a hint: nothing changes where it is not granted.
void adviseLargePages(char *block, qsizetype size);

// For the same reason, a process that builds long answers again and again (a server's lists of 100,000
// entries, a client opening such an account anew) keeps the memory it frees for the next one instead of
// handing it back to the system, which would fault every page in again: blocks under 32 MiB come from the
// heap, and up to 256 MiB freed at its top stay there. The server and the host call it once at their start,
// before they start threads; their resident size then stays near its peak. Only glibc's allocator is tuned;
// elsewhere nothing changes.
void keepFreedMemoryForReuse();

} // namespace bco
