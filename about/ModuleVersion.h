// CModuleVersion: the version resource of a module loaded in the process, and its string values.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class CModuleVersion {
public:
    static constexpr uint32_t kSignature = 0xFEEF04BD;
    // Assumed when the resource names no translation.
    static constexpr uint16_t kDefaultCodePage = 1252;
    static constexpr uint16_t kDefaultLanguage = 0;

    // The module loaded under this file name; false when it is not loaded or has no valid resource.
    bool GetFileVersionInfo(const char* moduleName);
    // A module by its handle, whatever its file is called (a host may rename the module).
    bool GetFileVersionInfo(HMODULE module);
    // "\StringFileInfo\<language><code page>\<key>", or "" when there is no such value.
    std::string GetValue(const char* key) const;

    const VS_FIXEDFILEINFO& Fixed() const noexcept { return m_fixed; }
    uint16_t Language() const noexcept { return m_language; }
    uint16_t CodePage() const noexcept { return m_codePage; }

private:
    VS_FIXEDFILEINFO m_fixed{};
    uint16_t m_language = kDefaultLanguage;
    uint16_t m_codePage = kDefaultCodePage;
    std::unique_ptr<uint8_t[]> m_data; // the whole resource, owned
};

// The file name (without its folder) of a loaded module; "" when the handle is not a module's.
std::string ModuleFileName(HMODULE module);
