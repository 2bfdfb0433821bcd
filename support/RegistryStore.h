// What the settings lookup needs of a registry: open a key under one of three roots, query a value
// with its type, store a text. The Windows registry implements it for the module, memory for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace support {

enum class RegistryRoot { CurrentUser, Users, LocalMachine };

struct RegistryValue {
    enum class Type { Number32, Text, Other };
    Type type = Type::Other;
    uint32_t number = 0;
    std::string text;  // without the terminating zero
    size_t byteSize = 0; // as stored, a text's terminating zero included
};

class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual std::optional<RegistryValue> Query(const std::string& name) const = 0;
    virtual bool SetText(const std::string& name, const std::string& text) = 0;
};

class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    // Opens root\subkey; with create, opens or creates it for writing. Null when it cannot.
    virtual std::unique_ptr<RegistryKey> Open(RegistryRoot root, const std::string& subkey, bool create) = 0;
};

} // namespace support
