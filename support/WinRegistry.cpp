// Registry keys as RegistryKey objects over the Win32 registry API.
#include "support/WinRegistry.h"

#include "platform/Handle.h"

#include <cstring>
#include <vector>

namespace support {
namespace {

class WinRegistryKey : public RegistryKey {
public:
    explicit WinRegistryKey(HKEY key) : m_key(key) {}

    std::optional<RegistryValue> Query(const std::string& name) const override {
        DWORD type = 0, size = 0;
        if (::RegQueryValueExA(m_key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::vector<BYTE> data(size + 1, 0);
        if (::RegQueryValueExA(m_key.Get(), name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            return std::nullopt;
        RegistryValue value;
        value.byteSize = size;
        if (type == REG_DWORD && size == sizeof(DWORD)) {
            value.type = RegistryValue::Type::Number32;
            value.number = *reinterpret_cast<const DWORD*>(data.data());
        } else if (type == REG_SZ) {
            value.type = RegistryValue::Type::Text;
            // Stored texts may or may not carry their zero; never read past what was returned.
            value.text.assign(reinterpret_cast<const char*>(data.data()), ::strnlen(reinterpret_cast<const char*>(data.data()), size));
            value.byteSize = value.text.size() + 1;
        }
        return value;
    }

    bool SetText(const std::string& name, const std::string& text) override {
        return ::RegSetValueExA(m_key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    }

private:
    platform::UniqueRegKey m_key;
};

HKEY RootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::Users:
        return HKEY_USERS;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CURRENT_USER;
}

} // namespace

std::unique_ptr<RegistryKey> WinRegistryStore::Open(RegistryRoot root, const std::string& subkey, bool create) {
    HKEY key = nullptr;
    LONG r = create ? ::RegCreateKeyExA(RootKey(root), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
                    : ::RegOpenKeyExA(RootKey(root), subkey.c_str(), 0, KEY_READ, &key);
    if (r != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<WinRegistryKey>(key);
}

RegistryStore& SystemRegistry() {
    static WinRegistryStore store;
    return store;
}

} // namespace support
