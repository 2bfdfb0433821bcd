// Settings lookup over a registry store: three places, first one that has the value wins.
#include "support/Settings.h"

#include <algorithm>
#include <cstring>

namespace support {

std::string SubkeyFor(RegistryRoot root, const std::string& path) {
    switch (root) {
    case RegistryRoot::CurrentUser:
        return "Software\\" + path;
    case RegistryRoot::Users:
        return ".DEFAULT\\Software\\" + path;
    case RegistryRoot::LocalMachine:
        return "Software\\Classes\\" + path;
    }
    return path;
}

int32_t ClampSetting(int32_t value, int32_t minimum, int32_t maximum) noexcept {
    if (minimum != kNoBound && value < minimum)
        value = minimum;
    if (maximum != kNoBound && value > maximum)
        value = maximum;
    return value;
}

SettingsKey::SettingsKey(RegistryStore& store, const std::string& path, int mode) {
    if (mode == Write) {
        m_primary = store.Open(RegistryRoot::CurrentUser, SubkeyFor(RegistryRoot::CurrentUser, path), true);
        return;
    }
    // The first place that opens is the primary key; the later ones that exist are secondaries.
    const RegistryRoot order[] = {RegistryRoot::CurrentUser, RegistryRoot::Users, RegistryRoot::LocalMachine};
    size_t secondaries = 0;
    for (RegistryRoot root : order) {
        auto key = store.Open(root, SubkeyFor(root, path), false);
        if (!key)
            continue;
        if (!m_primary)
            m_primary = std::move(key);
        else
            m_secondary[secondaries++] = std::move(key);
    }
}

bool SettingsKey::ReadNumber(const std::string& name, int32_t& out, int32_t defaultValue, int32_t minimum,
                             int32_t maximum) const {
    for (const RegistryKey* key : {m_primary.get(), m_secondary[0].get(), m_secondary[1].get()}) {
        if (!key)
            continue;
        auto value = key->Query(name);
        if (!value)
            continue;
        // The first place holding the value decides; a value of another type counts as missing there.
        if (value->type == RegistryValue::Type::Number32) {
            out = ClampSetting(static_cast<int32_t>(value->number), minimum, maximum);
            return true;
        }
        break;
    }
    out = ClampSetting(defaultValue, minimum, maximum);
    return false;
}

bool SettingsKey::ReadText(const std::string& name, char* out, size_t size, const char* defaultText) const {
    if (!out || size == 0)
        return false;
    for (const RegistryKey* key : {m_primary.get(), m_secondary[0].get(), m_secondary[1].get()}) {
        if (!key)
            continue;
        auto value = key->Query(name);
        if (value && value->type == RegistryValue::Type::Text && value->text.size() + 1 <= size) {
            std::memcpy(out, value->text.c_str(), value->text.size() + 1);
            return true;
        }
    }
    const char* text = defaultText ? defaultText : "";
    size_t n = std::min(std::strlen(text), size - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
    return false;
}

bool SettingsKey::WriteText(const std::string& name, const std::string& text) {
    return m_primary && m_primary->SetText(name, text);
}

bool ReadNumberOnce(RegistryStore& store, const std::string& path, const std::string& name, int32_t& out,
                    int32_t defaultValue, int32_t minimum, int32_t maximum) {
    for (RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::Users, RegistryRoot::LocalMachine}) {
        auto key = store.Open(root, SubkeyFor(root, path), false);
        if (!key)
            continue;
        auto value = key->Query(name);
        if (value && value->type == RegistryValue::Type::Number32) {
            out = ClampSetting(static_cast<int32_t>(value->number), minimum, maximum);
            return true;
        }
    }
    out = ClampSetting(defaultValue, minimum, maximum);
    return false;
}

} // namespace support
