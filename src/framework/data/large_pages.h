#pragma once

#include <QtGlobal>

namespace bco {

// A fresh page costs a fault when first written, and on a virtual machine a fault costs as much as copying
// the page many times over: a block of several MiB that is about to be filled (a long packet's records, its
// encoding) asks for pages of 2 MiB over the part of it they fit, where the system grants them on request.
// Only a hint: nothing changes where it is not granted.
void adviseLargePages(char *block, qsizetype size);

// The large page the system grants: a block that should be backed by large pages whole starts on a multiple.
inline constexpr qsizetype LargePageBytes = qsizetype(2) << 20;

} // namespace bco
