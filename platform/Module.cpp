// Resource modules: the module itself and the language library, looked up language first.
#include "platform/Module.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<HINSTANCE> g_resourceModule{nullptr};
std::atomic<HINSTANCE> g_languageModule{nullptr};
} // namespace

HINSTANCE ResourceModule() noexcept {
    HINSTANCE m = g_resourceModule.load();
    return m ? m : ::GetModuleHandleA(nullptr);
}
void SetResourceModule(HINSTANCE module) noexcept { g_resourceModule.store(module); }
HINSTANCE LanguageModule() noexcept { return g_languageModule.load(); }
void SetLanguageModule(HINSTANCE module) noexcept { g_languageModule.store(module); }

std::string LoadText(UINT id) {
    char buffer[2048];
    for (HINSTANCE m : {LanguageModule(), ResourceModule()}) {
        if (!m)
            continue;
        int n = ::LoadStringA(m, id, buffer, sizeof buffer);
        if (n > 0)
            return std::string(buffer, static_cast<size_t>(n));
    }
    return {};
}

HMENU LoadMenuResource(UINT id) {
    for (HINSTANCE m : {LanguageModule(), ResourceModule()}) {
        if (!m)
            continue;
        if (HMENU menu = ::LoadMenuA(m, MAKEINTRESOURCEA(id)))
            return menu;
    }
    return nullptr;
}

int MessageBoxId(HWND owner, UINT textId, UINT flags) {
    return ::MessageBoxA(owner, LoadText(textId).c_str(), "Lumen70", flags);
}

} // namespace platform
