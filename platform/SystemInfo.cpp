#include "platform/SystemInfo.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace platform {

std::uint64_t LastLevelCacheBytes() noexcept {
    DWORD bytes = 0;
    ::GetLogicalProcessorInformation(nullptr, &bytes);
    if (bytes == 0)
        return 0;
    std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> info(bytes /
                                                           sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
    if (info.empty() || !::GetLogicalProcessorInformation(info.data(), &bytes))
        return 0;
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < bytes / sizeof info[0]; ++i)
        if (info[i].Relationship == RelationCache)
            largest = std::max<std::uint64_t>(largest, info[i].Cache.Size);
    return largest;
}

} // namespace platform
