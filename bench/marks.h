#pragma once

#include <cstdio>
#include <cstdlib>
#include <ctime>

// Time marks of a start-up, for the bench's own programs run under corvalto_startwatch: it
// puts the moment it started the process in CORVALTO_BENCH_T0 (CLOCK_MONOTONIC, ns); each
// mark appends "name ms-since-process-start" to the file CORVALTO_BENCH_MARKS. Without that
// variable a mark is one getenv at the first call and a test after.
namespace startmarks {

inline double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline void mark(const char* name) {
    static FILE* file = [] {
        const char* path = std::getenv("CORVALTO_BENCH_MARKS");
        return path ? std::fopen(path, "a") : nullptr;
    }();
    static const double start = [] {
        const char* t0 = std::getenv("CORVALTO_BENCH_T0");
        return t0 ? std::strtod(t0, nullptr) / 1e6 : 0.0;
    }();
    if (!file)
        return;
    std::fprintf(file, "%s %.3f\n", name, nowMs() - start);
    // The program is killed once its window maps: nothing may wait in a buffer.
    std::fflush(file);
}

} // namespace startmarks
