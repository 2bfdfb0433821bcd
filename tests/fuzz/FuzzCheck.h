// What the harnesses share: a broken property ends the run like a crash, so libFuzzer keeps the input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace fuzz {

inline void Check(bool condition) {
    if (!condition)
        std::abort();
}

// One of the firmware versions the emulator models.
inline const char* UnitVersion(FuzzedDataProvider& in) {
    static const char* const kVersions[] = {"1.02", "2.10", "3.05"};
    return kVersions[in.ConsumeIntegralInRange<int>(0, 2)];
}

} // namespace fuzz
