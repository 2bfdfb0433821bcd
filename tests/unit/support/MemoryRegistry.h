// An in-memory registry for the settings tests: keys by root and path, typed values.
#pragma once

#include "support/RegistryStore.h"

#include <map>
#include <utility>

namespace testing_support {

class MemoryRegistry : public support::RegistryStore {
public:
    using Values = std::map<std::string, support::RegistryValue>;
    using Type = support::RegistryValue::Type;

    void SetNumber(support::RegistryRoot root, const std::string& key, const std::string& name, uint32_t v) {
        m_keys[{root, key}][name] = {Type::Number32, v, {}, 4};
    }
    void SetText(support::RegistryRoot root, const std::string& key, const std::string& name,
                 const std::string& text) {
        m_keys[{root, key}][name] = {Type::Text, 0, text, text.size() + 1};
    }
    void CreateKey(support::RegistryRoot root, const std::string& key) { m_keys[{root, key}]; }

    std::unique_ptr<support::RegistryKey> Open(support::RegistryRoot root, const std::string& subkey,
                                               bool create) override {
        if (create)
            m_keys[{root, subkey}];
        auto it = m_keys.find({root, subkey});
        if (it == m_keys.end())
            return nullptr;
        return std::make_unique<Key>(it->second);
    }

private:
    class Key : public support::RegistryKey {
    public:
        explicit Key(Values& values) : m_values(values) {}
        std::optional<support::RegistryValue> Query(const std::string& name) const override {
            auto it = m_values.find(name);
            if (it == m_values.end())
                return std::nullopt;
            return it->second;
        }
        bool SetText(const std::string& name, const std::string& text) override {
            m_values[name] = {Type::Text, 0, text, text.size() + 1};
            return true;
        }

    private:
        Values& m_values;
    };

    std::map<std::pair<support::RegistryRoot, std::string>, Values> m_keys;
};

} // namespace testing_support
