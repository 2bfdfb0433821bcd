// Module version records read from the file of a module loaded in the process.
#include "about/ModuleVersion.h"

#include <cstdio>
#include <cstring>

namespace {

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH * 2] = {};
    const DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return {};
    return std::string(path, length);
}

} // namespace

std::string ModuleFileName(HMODULE module) {
    if (!module)
        return {};
    const std::string path = ModulePath(module);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool CModuleVersion::GetFileVersionInfo(const char* moduleName) {
    HMODULE module = moduleName ? ::GetModuleHandleA(moduleName) : nullptr;
    return module && GetFileVersionInfo(module);
}

bool CModuleVersion::GetFileVersionInfo(HMODULE module) {
    m_data.reset();
    m_fixed = {};
    m_language = kDefaultLanguage;
    m_codePage = kDefaultCodePage;
    if (!module)
        return false;
    const std::string path = ModulePath(module);
    if (path.empty())
        return false;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return false;
    auto data = std::make_unique<uint8_t[]>(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, data.get()))
        return false;
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!::VerQueryValueA(data.get(), "\\", &fixed, &fixedSize) || !fixed || fixedSize < sizeof m_fixed)
        return false;
    std::memcpy(&m_fixed, fixed, sizeof m_fixed);
    if (m_fixed.dwSignature != kSignature)
        return false;
    void* translation = nullptr;
    UINT translationSize = 0;
    if (::VerQueryValueA(data.get(), "\\VarFileInfo\\Translation", &translation, &translationSize) &&
        translation && translationSize >= 4) {
        uint16_t pair[2];
        std::memcpy(pair, translation, sizeof pair);
        m_language = pair[0];
        m_codePage = pair[1];
    }
    m_data = std::move(data);
    return true;
}

std::string CModuleVersion::GetValue(const char* key) const {
    if (!m_data || !key)
        return {};
    char query[256];
    const int length =
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s",
                      static_cast<unsigned>(m_language), static_cast<unsigned>(m_codePage), key);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof query)
        return {};
    void* value = nullptr;
    UINT valueSize = 0;
    if (!::VerQueryValueA(m_data.get(), query, &value, &valueSize) || !value || valueSize == 0)
        return {};
    // The size counts characters and usually the terminator; never read past either.
    const char* text = static_cast<const char*>(value);
    return std::string(text, strnlen(text, valueSize));
}
