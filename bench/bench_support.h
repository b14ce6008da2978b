#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>

#include "framework/data/large_pages.h"

// What every benchmark prints and how it measures: the median of several runs (the machine is noisy) and
// the process's peak resident memory.
namespace bench {

// Every benchmark measures with the heap the server and the host keep, set before its main runs.
inline const bool heapKeptForReuse = (bco::keepFreedMemoryForReuse(), true);

// The middle value; of an even count, the upper of the two middle ones. `values` must not be empty.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double medianMilliseconds(int runs, const std::function<void()> &work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return median(std::move(times));
}

inline double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB on Linux
}

// Starts the peak over from the memory resident now, so that a figure is the peak of the work that follows
// and not of what the benchmark did before it (its floors). Linux: "5" to the process's clear_refs; answers
// whether it could.
inline bool restartPeakResident() {
    std::FILE *refs = std::fopen("/proc/self/clear_refs", "w");
    if (refs == nullptr)
        return false;
    const bool written = std::fputs("5", refs) >= 0;
    return std::fclose(refs) == 0 && written;
}

inline void report(const char *name, double value, const char *unit) {
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace bench
