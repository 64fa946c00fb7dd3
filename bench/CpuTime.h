// SPDX-License-Identifier: MIT
#pragma once

#include <sys/resource.h>

namespace bench {

// CPU seconds the process has used so far, user and system, all threads.
inline double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace bench
