// File versions and dates of the three libraries, for the host's about box.
#include "host/VersionList.h"

#include "host/Lumen70App.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace host {
namespace {

// Plain data only: no destructor of this module may run at process exit (see DllMain).
VersionEntry* g_versions = nullptr;
// Lists built before the last one: the host may still read them, so they live until RVFreeVersion.
struct RetiredList {
    VersionEntry* list;
    RetiredList* next;
};
RetiredList* g_retired = nullptr;
SRWLOCK g_versionsGuard = SRWLOCK_INIT;

class ExclusiveScope {
public:
    ExclusiveScope() { ::AcquireSRWLockExclusive(&g_versionsGuard); }
    ~ExclusiveScope() { ::ReleaseSRWLockExclusive(&g_versionsGuard); }
    ExclusiveScope(const ExclusiveScope&) = delete;
    ExclusiveScope& operator=(const ExclusiveScope&) = delete;
};

struct FileFacts {
    std::string version;
    std::string date;
};

char* HeapCopy(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

void FreeChain(VersionEntry* entry) {
    while (entry) {
        VersionEntry* next = entry->next;
        delete[] entry->moduleName;
        delete[] entry->version;
        delete[] entry->date;
        delete entry;
        entry = next;
    }
}

// The loaded module of that name, else the file of that name beside this module.
std::string PathOf(const char* fileName) {
    char path[MAX_PATH] = {};
    if (HMODULE loaded = ::GetModuleHandleA(fileName)) {
        DWORD n = ::GetModuleFileNameA(loaded, path, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            return std::string(path, n);
    }
    DWORD n = ::GetModuleFileNameA(theApp().moduleInstance, path, MAX_PATH);
    std::string own(path, n < MAX_PATH ? n : 0);
    auto slash = own.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : own.substr(0, slash + 1)) + fileName;
}

// This module's own file: the host installs it as "AcqDlg.dll", a demo may load it under its build name.
std::string ModulePath() {
    if (::GetModuleHandleA("AcqDlg.dll"))
        return PathOf("AcqDlg.dll");
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(theApp().moduleInstance, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

enum class FactsResult { Ok, NoVersion, NoStatus };

FactsResult ReadFacts(const std::string& path, FileFacts& facts) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes))
        return FactsResult::NoStatus;
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return FactsResult::NoVersion;
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &infoSize) || !info)
        return FactsResult::NoVersion;
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", HIWORD(info->dwFileVersionMS),
                  LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                  LOWORD(info->dwFileVersionLS));
    facts.version = text;

    FILETIME local{};
    SYSTEMTIME when{};
    if (!::FileTimeToLocalFileTime(&attributes.ftLastWriteTime, &local) ||
        !::FileTimeToSystemTime(&local, &when))
        return FactsResult::NoStatus;
    std::snprintf(text, sizeof text, "%.2d/%.2d/%.4d", when.wDay, when.wMonth, when.wYear);
    facts.date = text;
    return FactsResult::Ok;
}

} // namespace

VersionEntry* BuildVersionList() {
    struct Source {
        const char* listedName;
        std::string path;
    };
    const Source sources[] = {
        {"Lumen70.dll", ModulePath()},
        {"Nxjbus.dll", PathOf("Nxjbus.dll")},
        {"NxLang.dll", PathOf("NxLang.dll")},
    };
    FileFacts facts[3];
    for (int i = 0; i < 3; ++i) {
        FactsResult r = ReadFacts(sources[i].path, facts[i]);
        if (r == FactsResult::NoStatus) {
            char message[MAX_PATH + 64];
            std::snprintf(message, sizeof message, "CFile::GetStatus FAILED\nNom du fichier : %s",
                          sources[i].path.c_str());
            ::MessageBoxA(nullptr, message, "Lumen70", MB_OK | MB_ICONEXCLAMATION);
            return nullptr;
        }
        if (r == FactsResult::NoVersion)
            return nullptr;
    }

    VersionEntry* head = nullptr;
    VersionEntry** tail = &head;
    for (int i = 0; i < 3; ++i) {
        auto* entry = new VersionEntry{HeapCopy(sources[i].listedName), HeapCopy(facts[i].version),
                                       HeapCopy(facts[i].date), nullptr};
        *tail = entry;
        tail = &entry->next;
    }
    ExclusiveScope guard;
    if (g_versions)
        g_retired = new RetiredList{g_versions, g_retired};
    g_versions = head;
    return head;
}

void FreeVersionList() {
    ExclusiveScope guard;
    FreeChain(g_versions);
    g_versions = nullptr;
    while (RetiredList* retired = g_retired) {
        g_retired = retired->next;
        FreeChain(retired->list);
        delete retired;
    }
}

} // namespace host
