// Module loading, the emulator's control line and the refusal probes of the conformance kit.
#include "kit/HostSide.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <utility>

namespace kit {

Module::Module(const std::string& path) {
    m_module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m_module)
        m_loadError = ::GetLastError();
}
Module::~Module() {
    if (m_module)
        ::FreeLibrary(m_module);
}
void* Module::Find(const char* name) const {
    return m_module ? reinterpret_cast<void*>(::GetProcAddress(m_module, name)) : nullptr;
}

Unit::Unit() {
    if (HMODULE bus = ::GetModuleHandleA("Nxjbus.dll"))
        m_control = reinterpret_cast<ControlFn>(reinterpret_cast<void*>(::GetProcAddress(bus, "EmuControl")));
}
bool Unit::Send(const std::string& line) const {
    return m_control && m_control(line.c_str(), nullptr, 0) == 0;
}
std::string Unit::StatusLine() const {
    char reply[2048] = {};
    if (!m_control || m_control("status", reply, sizeof reply) != 0)
        return "";
    return reply;
}
std::string Unit::Field(const std::string& key) const {
    std::istringstream in(StatusLine());
    std::string field;
    while (in >> field)
        if (field.rfind(key + "=", 0) == 0)
            return field.substr(key.size() + 1);
    return "";
}
bool Unit::WaitField(const std::string& key, const std::string& value, DWORD timeoutMs) const {
    const DWORD start = ::GetTickCount();
    while (Field(key) != value) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(10);
    }
    return true;
}

// ---- Refusal probes -------------------------------------------------------------------------------

namespace {

struct Probe {
    const char* name;
    const char* exportName;
    std::function<std::string(const Module&)> call; // returns the figure
};

unsigned char g_line[4 * 2488];
unsigned char g_record[211];
TmjImage g_image{64, 4, 0, 0, nullptr};

// A four-image section table in the probes' record, so a module gets past its section-count test.
void PutFourSections() {
    g_record[49] = 4;
    for (int k = 0; k < 4; ++k) {
        g_record[51 + 4 * k] = static_cast<unsigned char>(16 * k);
        g_record[53 + 4 * k] = 10;
    }
}

std::string Returned() {
    return "returned";
}
std::string Answer(bool value) {
    return value ? "returned true" : "returned false";
}

const std::vector<Probe>& Probes() {
    static const std::vector<Probe> probes = {
        {"GetInfosTir: null record", "GetInfosTir",
         [](const Module& m) {
             m.Get<RecordFn>("GetInfosTir")(nullptr);
             return Returned();
         }},
        {"GetExpositionTime: null record", "GetExpositionTime",
         [](const Module& m) {
             m.Get<RecordFn>("GetExpositionTime")(nullptr);
             return Returned();
         }},
        {"ReArrangement: null destination", "ReArrangement",
         [](const Module& m) {
             m.Get<ReArrangementFn>("ReArrangement")(nullptr, 1244, g_line);
             return Returned();
         }},
        {"ReArrangement: null source", "ReArrangement",
         [](const Module& m) {
             m.Get<ReArrangementFn>("ReArrangement")(g_line, 1244, nullptr);
             return Returned();
         }},
        {"TraitementATM4Images: null image", "TraitementATM4Images",
         [](const Module& m) {
             PutFourSections();
             m.Get<TraitementFn>("TraitementATM4Images")(nullptr, g_record);
             return Returned();
         }},
        {"TraitementATM4Images: null record", "TraitementATM4Images",
         [](const Module& m) {
             m.Get<TraitementFn>("TraitementATM4Images")(&g_image, nullptr);
             return Returned();
         }},
        {"TraitementATM4Images: null pixels", "TraitementATM4Images",
         [](const Module& m) {
             PutFourSections();
             m.Get<TraitementFn>("TraitementATM4Images")(&g_image, g_record);
             return Returned();
         }},
        {"GetTiming: null table", "GetTiming",
         [](const Module& m) {
             return "returned " + std::to_string(m.Get<GetTimingFn>("GetTiming")(0, nullptr));
         }},
        {"bPanoResolution: null", "bPanoResolution",
         [](const Module& m) { return Answer(m.Get<ResolutionFn>("bPanoResolution")(nullptr)); }},
        {"bPanoRealResolution: null", "bPanoRealResolution",
         [](const Module& m) { return Answer(m.Get<ResolutionFn>("bPanoRealResolution")(nullptr)); }},
        {"bCephaloRealResolution: null", "bCephaloRealResolution",
         [](const Module& m) { return Answer(m.Get<ResolutionFn>("bCephaloRealResolution")(nullptr)); }},
        {"GetInfoFileName: null buffer", "GetInfoFileName",
         [](const Module& m) {
             m.Get<InfoFileFn>("GetInfoFileName")(nullptr);
             return Returned();
         }},
        {"RVFreeVersion: without a list, twice", "RVFreeVersion",
         [](const Module& m) {
             m.Get<VoidFn>("RVFreeVersion")();
             m.Get<VoidFn>("RVFreeVersion")();
             return Returned();
         }},
        {"RVFreeVersion: twice after pRVGetVersion", "RVFreeVersion",
         [](const Module& m) {
             auto get = m.Get<GetVersionFn>("pRVGetVersion");
             if (!get)
                 return std::string("not run: no pRVGetVersion");
             get();
             m.Get<VoidFn>("RVFreeVersion")();
             m.Get<VoidFn>("RVFreeVersion")();
             return Returned();
         }},
    };
    return probes;
}

const Probe* FindProbe(const std::string& name) {
    for (const Probe& p : Probes())
        if (name == p.name)
            return &p;
    return nullptr;
}

// A fault in the module ends the child with the exception code at once: no debugger, no crash box.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS* info) {
    ::TerminateProcess(::GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

const std::vector<std::string>& ProbeNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const Probe& p : Probes())
            n.push_back(p.name);
        return n;
    }();
    return names;
}

std::string ProbeExport(const std::string& name) {
    const Probe* p = FindProbe(name);
    return p ? p->exportName : "";
}

int RunProbe(const std::string& name, const std::string& modulePath) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(&EndOnFault);
    const Probe* probe = FindProbe(name);
    if (!probe) {
        std::printf("unknown probe\n");
        return 2;
    }
    Module module(modulePath);
    if (!module.Loaded() || !module.Find(probe->exportName)) {
        std::printf("not run: %s\n", module.Loaded() ? "export missing" : "module not loaded");
        return 2;
    }
    std::printf("%s\n", probe->call(module).c_str());
    std::fflush(stdout);
    // The module stays loaded: its unload is not what this probe is about.
    ::ExitProcess(0);
}

ProbeOutcome SpawnProbe(const std::string& name, const std::string& modulePath, DWORD timeoutMs) {
    ProbeOutcome outcome;
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = Quoted(self) + " --probe " + Quoted(name) + " " + Quoted(modulePath);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        outcome.figure = "could not start the probe (pipe)";
        return outcome;
    }
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    const BOOL started =
        ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        outcome.figure = "could not start the probe (error " + std::to_string(::GetLastError()) + ")";
        return outcome;
    }
    // The answer is one short line, well within the pipe's buffer: the child never blocks on it, so
    // the wait comes first and a child that hangs is ended.
    const bool ended = ::WaitForSingleObject(child.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended)
        ::TerminateProcess(child.hProcess, 1);
    std::string output;
    char buffer[256];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    ::CloseHandle(readEnd);
    DWORD code = 0;
    if (!ended) {
        outcome.figure = "did not return within " + std::to_string(timeoutMs) + " ms";
    } else {
        ::GetExitCodeProcess(child.hProcess, &code);
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
            output.pop_back();
        if (code == 0) {
            outcome.ran = true;
            outcome.figure = output;
        } else {
            char text[96];
            std::snprintf(text, sizeof text, "faulted: exception 0x%08lX%s", code,
                          code == 0xC0000005 ? " (access violation)" : "");
            outcome.figure = code == 2 ? output : text;
        }
    }
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return outcome;
}

} // namespace kit
