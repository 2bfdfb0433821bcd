// Settings lookup: a settings path is looked up under the current user, then the default user, then
// the machine's classes; values of the wrong type count as missing; numbers are clamped.
#pragma once

#include "support/RegistryStore.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace support {

// Settings paths and value names the module uses.
inline constexpr char kPanoPath[] = "HALVEX\\PANO";
inline constexpr char kLumenPath[] = "HALVEX\\PANO\\LUMEN70";
// A minimum or maximum of this value means "no bound".
inline constexpr int32_t kNoBound = -100000;

// The registry subkey of a settings path under each of the three places.
std::string SubkeyFor(RegistryRoot root, const std::string& path);

class SettingsKey {
public:
    enum Mode { Read = 1, Write = 2 };

    // Read: opens the path in up to three places. Write: opens or creates the current user's key.
    SettingsKey(RegistryStore& store, const std::string& path, int mode);

    bool IsOpen() const noexcept { return m_primary != nullptr; }

    // A 32-bit value of the first place that has one, clamped; otherwise the default (clamped) and false.
    bool ReadNumber(const std::string& name, int32_t& out, int32_t defaultValue, int32_t minimum = kNoBound,
                    int32_t maximum = kNoBound) const;
    // A text of at most size bytes (terminating zero included) from the first place that has one;
    // otherwise the default, cut to fit, and false. Nothing is written when size is 0 or out is null.
    bool ReadText(const std::string& name, char* out, size_t size, const char* defaultText) const;
    // Stores text with its terminating zero as a text value (keys opened for writing).
    bool WriteText(const std::string& name, const std::string& text);

private:
    std::unique_ptr<RegistryKey> m_primary;
    std::unique_ptr<RegistryKey> m_secondary[2];
};

// The same lookup as ReadNumber without a key object, opening each place in turn.
bool ReadNumberOnce(RegistryStore& store, const std::string& path, const std::string& name, int32_t& out,
                    int32_t defaultValue, int32_t minimum = kNoBound, int32_t maximum = kNoBound);

int32_t ClampSetting(int32_t value, int32_t minimum, int32_t maximum) noexcept;

} // namespace support
