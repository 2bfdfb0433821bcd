// lumen_conformance: checks an installed acquisition module against the host contract, end to end,
// with the unit emulator's bus library beside it. It loads the module as an imaging host does, calls
// every export with good and bad arguments, takes whole shots on the emulator, and prints one line per
// check (PASS or FAIL, the figure measured) and a summary. Exit code 0 only when every check passed.
//   lumen_conformance [MODULE_PATH] [--speed N] [--no-probes]
// MODULE_PATH defaults to Lumen70_Demo.dll beside this program; NxLang.dll and the emulator's
// Nxjbus.dll sit beside the module, and the module's port settings name the emulator's port (COM1).
#include "kit/HostSide.h"
#include "kit/KnownVectors.h"
#include "kit/Report.h"
#include "platform/BoxWatcher.h"
#include "platform/GreyDib.h"

#include <shlobj.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using kit::Format;
using kit::Report;

constexpr int kSuccess = 15;
constexpr UINT kMsgPreview = 0x65A;
constexpr UINT kMsgEndAcquisition = 0x65B;
constexpr DWORD kProbeTimeoutMs = 30000;
constexpr DWORD kReadyTimeoutMs = 20000;
constexpr DWORD kNotifyTimeoutMs = 30000;
constexpr DWORD kCycleEndTimeoutMs = 60000;
constexpr DWORD kCloseTimeoutMs = 20000;
// The unit's keypad choices the shots use: the full panoramic and the four-image TMJ.
constexpr const char* kProgramPanoramic = "command 0x7004";
constexpr const char* kProgramTmj4 = "command 0x1104";

double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool WaitUntil(DWORD timeoutMs, const auto& done) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(10);
    }
    return true;
}

std::string Joined(const std::vector<int>& values) {
    std::string text;
    for (size_t i = 0; i < values.size(); ++i)
        text += (i ? "," : "") + std::to_string(values[i]);
    return text.empty() ? "none" : text;
}

// ---- What the host's notification function received ----------------------------------------------

struct HostEvents {
    std::mutex mutex;
    std::vector<int> events;
    double cycleStartAtMs = 0;
    int mirrorAtCycleStart = -1; // bHaveToMirror as the host reads it inside notification 0
    kit::FlagFn mirror = nullptr;
    HANDLE cycleStarted = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE panelClosed = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
};
HostEvents g_host;

void OnModuleEvent(int32_t event) {
    std::lock_guard lock(g_host.mutex);
    g_host.events.push_back(event);
    if (event == 0) {
        g_host.cycleStartAtMs = NowMs();
        g_host.mirrorAtCycleStart = g_host.mirror ? g_host.mirror() : -1;
        ::SetEvent(g_host.cycleStarted);
    }
    if (event == 3)
        ::SetEvent(g_host.panelClosed);
}
void ForgetEvents() {
    std::lock_guard lock(g_host.mutex);
    g_host.events.clear();
    g_host.mirrorAtCycleStart = -1;
    ::ResetEvent(g_host.cycleStarted);
    ::ResetEvent(g_host.panelClosed);
}
std::vector<int> Events() {
    std::lock_guard lock(g_host.mutex);
    return g_host.events;
}

// The module's message boxes are answered and their texts kept: the kit runs unattended, and a box
// in a clean run is itself a finding.
using platform::BoxWatcher;

// ---- The module's event log and start setting -----------------------------------------------------

std::string NewestLogLine() {
    char common[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    std::ifstream in(std::string(common) + "\\RV\\HalvexPan\\HalvexPan.csv", std::ios::binary);
    std::string line;
    std::getline(in, line); // newest first
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

bool LogLineNames(const std::string& line, int errorNumber, const char* function) {
    return line.find(std::to_string(errorNumber)) != std::string::npos &&
           line.find(function) != std::string::npos;
}

// HKCU\Software\HALVEX\PANO "StartPGM" set for a check and put back as it was afterwards.
class StartSettingScope {
public:
    explicit StartSettingScope(DWORD value) {
        ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HALVEX\\PANO", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, &m_key, nullptr);
        DWORD size = sizeof m_old, type = 0;
        m_had = m_key && ::RegQueryValueExA(m_key, "StartPGM", nullptr, &type,
                                            reinterpret_cast<BYTE*>(&m_old), &size) == ERROR_SUCCESS;
        if (m_key)
            ::RegSetValueExA(m_key, "StartPGM", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof value);
    }
    ~StartSettingScope() {
        if (!m_key)
            return;
        if (m_had)
            ::RegSetValueExA(m_key, "StartPGM", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old),
                             sizeof m_old);
        else
            ::RegDeleteValueA(m_key, "StartPGM");
        ::RegCloseKey(m_key);
    }
    StartSettingScope(const StartSettingScope&) = delete;
    StartSettingScope& operator=(const StartSettingScope&) = delete;

private:
    HKEY m_key = nullptr;
    DWORD m_old = 0;
    bool m_had = false;
};

// ---- The checks -----------------------------------------------------------------------------------

class Kit {
public:
    Kit(Report& report, kit::Module& module, std::string modulePath, double speed, bool probes)
        : m_report(report), m_module(module), m_path(std::move(modulePath)), m_speed(speed),
          m_probes(probes) {
        g_host.mirror = module.Get<kit::FlagFn>("bHaveToMirror");
    }

    void Run() {
        Exports();
        FixedAnswers();
        VersionList();
        ReArrangementCounts();
        ReArrangementVector("ReArrangement (before the link)");
        TmjReordering();
        if (m_probes)
            Refusals();
        if (!m_report.Add("emulator's bus library beside the module", m_unit.Present(),
                          m_unit.Present()
                              ? "EmuControl found in the loaded Nxjbus.dll"
                              : "no EmuControl in Nxjbus.dll: the unit checks need the emulator"))
            return;
        if (!PortOpening())
            return;
        StartDialogCodes();
        m_unit.Send("speed " + Format("%g", m_speed));
        if (Shot("pano shot", kProgramPanoramic, 0)) {
            PanoRecord();
            ExpositionTime();
            Timing("GetTiming after the panoramic shot", 1, 300);
            ReArrangementVector("ReArrangement (unit rotation 0)");
        }
        if (Shot("TMJ shot", kProgramTmj4, 1)) {
            TmjRecord();
            Timing("GetTiming after the four-image TMJ shot", 4, 90000);
            ReArrangementVector("ReArrangement (unit rotation 1)");
        }
        CephRecord(0);
        CephRecord(2);
        PortMissing();
    }

    void MessageBoxes(BoxWatcher& boxes) {
        const std::vector<std::string> texts = boxes.Texts();
        std::string figure = std::to_string(texts.size());
        for (const std::string& t : texts)
            figure += " \"" + t + "\"";
        m_report.Add("no message box during the run", texts.empty(), figure);
    }

private:
    template <typename F> F Need(const std::string& check, const char* name) {
        F f = m_module.Get<F>(name);
        if (!f)
            m_report.Missing(check, name);
        return f;
    }

    void Exports() {
        for (const char* name : kit::kExportNames)
            m_report.Add(std::string("export ") + name, m_module.Find(name) != nullptr,
                         m_module.Find(name) ? "present" : "missing from the export table");
    }

    void FixedAnswers() {
        for (const char* name : {"ReadPanoData", "ReadCephaloData"})
            if (auto f = Need<kit::IntFn>(std::string(name) + " answers 15", name)) {
                const int got = f();
                m_report.Add(std::string(name) + " answers 15", got == kSuccess, Format("%d", got));
            }
        for (const char* name : {"bPanoPostProcess", "bCephaloPostProcess"})
            if (auto f = Need<kit::FlagFn>(std::string(name) + " answers false", name)) {
                const bool got = f();
                m_report.Add(std::string(name) + " answers false", !got, got ? "true" : "false");
            }
        if (auto f = Need<kit::CombineFn>("nCanCombineATM", "nCanCombineATM")) {
            const struct {
                int a, b, want;
            } cases[] = {{187, 187, 188}, {187, 188, 0}, {188, 187, 0},
                         {188, 188, 0},   {0, 0, 0},     {-187, -187, 0}};
            std::string figure;
            bool pass = true;
            for (const auto& c : cases) {
                const int got = f(c.a, c.b);
                pass &= got == c.want;
                figure += Format("%s(%d,%d)=%d", figure.empty() ? "" : " ", c.a, c.b, got);
            }
            m_report.Add("nCanCombineATM", pass, figure);
        }
        const struct {
            const char* name;
            double want;
        } resolutions[] = {{"bPanoResolution", kit::kPanoDisplayResolution},
                           {"bPanoRealResolution", kit::kPanoRealResolution},
                           {"bCephaloRealResolution", kit::kCephaloRealResolution}};
        for (const auto& r : resolutions)
            if (auto f = Need<kit::ResolutionFn>(r.name, r.name)) {
                double both[3] = {-1, -1, -1}; // the third proves nothing is written past two doubles
                const bool answer = f(both);
                m_report.Add(r.name, answer && both[0] == r.want && both[1] == r.want && both[2] == -1,
                             Format("%s %.17g %.17g, expected true %.17g twice", answer ? "true" : "false",
                                    both[0], both[1], r.want));
            }
        if (auto f = Need<kit::BrowseFn>("SetBrowseMskFnct", "SetBrowseMskFnct")) {
            const bool refused = !f(nullptr);
            const bool taken = f(reinterpret_cast<void*>(&OnModuleEvent));
            m_report.Add("SetBrowseMskFnct", refused && taken,
                         Format("null %s, a function %s", refused ? "refused" : "accepted",
                                taken ? "accepted" : "refused"));
        }
        if (auto f = Need<kit::InfoFileFn>("GetInfoFileName", "GetInfoFileName")) {
            char buffer[2 * MAX_PATH];
            std::memset(buffer, 0x7F, sizeof buffer);
            f(buffer);
            const void* end = std::memchr(buffer, 0, sizeof buffer);
            const std::string path = end ? buffer : "";
            const std::string tail = "\\ConfigHalvexPan.ini";
            const bool pass = end && path.size() < MAX_PATH && path.size() > tail.size() &&
                              _stricmp(path.c_str() + path.size() - tail.size(), tail.c_str()) == 0;
            m_report.Add("GetInfoFileName", pass, end ? "\"" + path + "\"" : "no terminating zero");
        }
        if (auto f = Need<kit::MainWindowFn>("GetMainWindowHandle without a panel", "GetMainWindowHandle")) {
            HWND got = f();
            m_report.Add("GetMainWindowHandle without a panel", got == nullptr,
                         Format("%p", static_cast<void*>(got)));
        }
    }

    void VersionList() {
        auto get = Need<kit::GetVersionFn>("pRVGetVersion", "pRVGetVersion");
        auto release = Need<kit::VoidFn>("RVFreeVersion", "RVFreeVersion");
        if (!get || !release)
            return;
        const char* const names[] = {"Lumen70.dll", "Nxjbus.dll", "NxLang.dll"};
        std::string figure;
        bool pass = true;
        int n = 0;
        for (kit::VersionEntry* e = get(); e && n < 8; e = e->next, ++n) {
            int parts[4], day, month, year;
            char end;
            const bool version = e->version && std::sscanf(e->version, "%d.%d.%d.%d%c", &parts[0], &parts[1],
                                                           &parts[2], &parts[3], &end) == 4;
            const bool date = e->date && std::strlen(e->date) == 10 &&
                              std::sscanf(e->date, "%2d/%2d/%4d", &day, &month, &year) == 3 && day >= 1 &&
                              day <= 31 && month >= 1 && month <= 12;
            pass &= n < 3 && e->name && std::strcmp(e->name, names[n]) == 0 && version && date;
            figure += Format("%s%s %s %s", n ? "; " : "", e->name ? e->name : "(null)",
                             e->version ? e->version : "(null)", e->date ? e->date : "(null)");
        }
        release();
        m_report.Add("pRVGetVersion", pass && n == 3, n ? figure : "null list");
    }

    // ---- Image services on known vectors ----

    void ReArrangementCounts() {
        auto f = Need<kit::ReArrangementFn>("ReArrangement: partial and empty counts", "ReArrangement");
        if (!f)
            return;
        // Counts in 16-bit pixels; only whole 1244-pixel lines are arranged.
        const struct {
            int count;
            int lines;
        } cases[] = {{1243, 0}, {0, 0}, {-1, 0}, {INT_MIN, 0}, {1244, 1}, {2487, 1}, {2 * 1244 + 5, 2}};
        const std::vector<uint8_t> raw = kit::RawLines(3);
        std::string figure;
        bool pass = true;
        for (const auto& c : cases) {
            std::vector<uint8_t> out(raw.size(), 0xCD);
            const std::vector<uint8_t> before = out;
            f(out.data(), c.count, const_cast<uint8_t*>(raw.data()));
            const long last = kit::LastDifference(out.data(), before.data(), out.size());
            const int lines = last < 0 ? 0 : static_cast<int>(last / kit::kLineBytes) + 1;
            pass &= lines == c.lines;
            figure += Format("%s%d->%d", figure.empty() ? "" : " ", c.count, lines);
        }
        m_report.Add("ReArrangement: partial and empty counts", pass, "pixels->lines written: " + figure);
    }

    void ReArrangementVector(const std::string& check) {
        auto f = Need<kit::ReArrangementFn>(check, "ReArrangement");
        auto mirrorFn = Need<kit::FlagFn>(check, "bHaveToMirror");
        if (!f || !mirrorFn)
            return;
        const bool mirror = mirrorFn();
        const std::vector<uint8_t> raw = kit::RawLines(3);
        const std::vector<uint8_t> want = kit::ArrangedLines(raw, 2, mirror);
        std::vector<uint8_t> out(raw.size(), 0xCD);
        f(out.data(), 2 * kit::kPixelsPerLine + 5, const_cast<uint8_t*>(raw.data()));
        const long wrong = kit::FirstDifference(out.data(), want.data(), want.size());
        bool tailKept = true;
        for (size_t i = want.size(); i < out.size(); ++i)
            tailKept &= out[i] == 0xCD;
        const int a = mirror ? 1243 : 0, b = mirror ? 621 : 622;
        m_report.Add(
            check, wrong < 0 && tailKept,
            Format("mirror %s: bytes 01 02 03 04 -> pixel %d = %02X %02X, pixel %d = %02X %02X; %s%s",
                   mirror ? "set" : "clear", a, out[2 * a], out[2 * a + 1], b, out[2 * b], out[2 * b + 1],
                   wrong < 0 ? "2 lines as expected" : Format("first wrong byte %ld", wrong).c_str(),
                   tailKept ? ", partial line untouched" : ", partial line written"));
    }

    void TmjReordering() {
        auto f = Need<kit::TraitementFn>("TraitementATM4Images: four images", "TraitementATM4Images");
        if (!f)
            return;
        // The unit's four-image TMJ layout: four 836-pixel images 50 pixels apart.
        const kit::Sections s{{0, 886, 1772, 2658}, {836, 836, 836, 836}};
        // And one with unequal images, where a wrong width or offset formula shows.
        const kit::Sections uneven{{10, 400, 700, 1100}, {300, 250, 350, 200}};
        for (const auto& [name, sections, width] :
             {std::tuple{"TraitementATM4Images: four 836-pixel images", s, 3494},
              std::tuple{"TraitementATM4Images: four unequal images", uneven, 1400}}) {
            const int height = 8;
            std::vector<uint16_t> picture = kit::TmjPicture(width, height, sections);
            uint8_t record[kit::kPanoRecordSize] = {};
            PutSections(record, 4, sections);
            kit::TmjImage image{width, height, 0, 0, picture.data()};
            f(&image, record);
            const std::vector<uint16_t> want = kit::ReorderedTmjPicture(width, height, sections);
            const kit::Sections r = kit::ReorderedSections(sections);
            uint8_t wantRecord[kit::kPanoRecordSize] = {};
            PutSections(wantRecord, 4, r);
            const long pixel =
                kit::FirstDifference(reinterpret_cast<const uint8_t*>(picture.data()),
                                     reinterpret_cast<const uint8_t*>(want.data()), 2 * want.size());
            const bool table = std::memcmp(record, wantRecord, sizeof record) == 0;
            m_report.Add(name, pixel < 0 && table,
                         Format("sections now %s; %s", SectionText(record).c_str(),
                                pixel < 0 ? "images in the order 0,2,3,1, gaps cleared"
                                          : Format("first wrong pixel %ld", pixel / 2).c_str()));
        }
        // Refusals: a record of two images, and sections that run past the line, leave both untouched.
        const struct {
            const char* name;
            int count;
            int width;
        } refusals[] = {{"TraitementATM4Images: two-image record untouched", 2, 3494},
                        {"TraitementATM4Images: sections past the line refused", 4, 3344}};
        for (const auto& c : refusals) {
            std::vector<uint16_t> picture =
                kit::TmjPicture(c.width, 4, kit::Sections{{0, 886, 1772, 2400}, {836, 836, 628, 0}});
            const std::vector<uint16_t> before = picture;
            uint8_t record[kit::kPanoRecordSize] = {};
            PutSections(record, c.count, s);
            uint8_t recordBefore[kit::kPanoRecordSize];
            std::memcpy(recordBefore, record, sizeof record);
            kit::TmjImage image{c.width, 4, 0, 0, picture.data()};
            f(&image, record);
            const bool same = picture == before && std::memcmp(record, recordBefore, sizeof record) == 0;
            m_report.Add(c.name, same, same ? "image and record untouched" : "image or record changed");
        }
    }

    static void PutSections(uint8_t* record, int count, const kit::Sections& s) {
        kit::PutU16(record, kit::pano::kSectionCount, static_cast<uint16_t>(count));
        for (int k = 0; k < 4; ++k) {
            kit::PutU16(record, kit::pano::SectionOffset(k), static_cast<uint16_t>(s.offset[k]));
            kit::PutU16(record, kit::pano::SectionWidth(k), static_cast<uint16_t>(s.width[k]));
        }
    }
    static std::string SectionText(const uint8_t* record) {
        std::string text;
        for (int k = 0; k < 4; ++k)
            text += Format("%s(%u,%u)", k ? " " : "", kit::U16At(record, kit::pano::SectionOffset(k)),
                           kit::U16At(record, kit::pano::SectionWidth(k)));
        return text;
    }

    void Timing(const std::string& check, int entries, int result) {
        auto f = Need<kit::GetTimingFn>(check, "GetTiming");
        if (!f)
            return;
        int table[12];
        for (int& t : table)
            t = -7;
        const int got = f(0, table);
        int filled = 0;
        bool rest = true;
        for (int i = 0; i < 12; ++i) {
            if (i < entries)
                filled += table[i] == 10;
            else
                rest &= table[i] == -7;
        }
        m_report.Add(check, got == result && filled == entries && rest,
                     Format("returned %d, %d entries of 10%s; expected %d and %d entries", got, filled,
                            rest ? "" : ", entries beyond them written", result, entries));
    }

    void Refusals() {
        for (const std::string& name : kit::ProbeNames()) {
            const std::string check = name + ", no fault";
            if (!m_module.Find(kit::ProbeExport(name).c_str())) {
                m_report.Missing(check, kit::ProbeExport(name));
                continue;
            }
            const kit::ProbeOutcome outcome = kit::SpawnProbe(name, m_path, kProbeTimeoutMs);
            m_report.Add(check, outcome.ran, outcome.figure);
        }
    }

    // ---- The unit: link, panel, shots ----

    bool PortOpening() {
        auto open = Need<kit::IntFn>("OpenCommPort answers 15", "OpenCommPort");
        if (!open)
            return false;
        const int opened = open();
        return m_report.Add(
            "OpenCommPort answers 15", opened == kSuccess,
            Format("%d (unit %s, protocol %s)%s", opened, m_unit.Field("version").c_str(),
                   m_unit.Field("protocol").c_str(),
                   opened == kSuccess ? "" : "; check the module's COM and Baudrate settings"));
    }

    // Last of the unit checks: the failed read stays in the module's first-error latch, and the next
    // panel would report it as a lost link.
    void PortMissing() {
        auto open = Need<kit::IntFn>("OpenCommPort without the unit answers 1, logs 401", "OpenCommPort");
        if (!open)
            return;
        m_unit.Send("port missing"); // the unit's adapter unplugged: the identification cannot be read
        const int refused = open();
        const std::string log = NewestLogLine();
        m_unit.Send("port present");
        m_report.Add("OpenCommPort without the unit answers 1, logs 401",
                     refused == 1 && LogLineNames(log, 401, "OpenCommPort"),
                     Format("%d; log \"%s\"", refused, log.c_str()));
    }

    // Closing a panel closes the bus, so a host opens the link again before each panel.
    HWND StartPanel(const std::string& check, unsigned char mode, int* code = nullptr) {
        auto open = Need<kit::IntFn>(check, "OpenCommPort");
        auto start = Need<kit::StartDialogFn>(check, "StartDialog");
        if (!open || !start)
            return nullptr;
        if (const int opened = open(); opened != kSuccess) {
            m_report.Add(check, false, Format("OpenCommPort answered %d", opened));
            return nullptr;
        }
        uint32_t text[64] = {};
        std::memcpy(text, "Conformance kit", 15);
        uint32_t slot = 0;
        ForgetEvents();
        const double t0 = NowMs();
        const int got = start(0, &slot, &OnModuleEvent, mode, text);
        const double ms = NowMs() - t0;
        if (code)
            *code = got;
        HWND panel = reinterpret_cast<HWND>(static_cast<uintptr_t>(slot));
        m_report.Add(
            check, got == kSuccess && ::IsWindow(panel),
            Format("%d, panel window %s, after %.0f ms", got, ::IsWindow(panel) ? "valid" : "not valid", ms));
        return got == kSuccess && ::IsWindow(panel) ? panel : nullptr;
    }

    // Closes a panel as the operator does (outside a cycle); true when notifications 1 and 3 came.
    bool CancelPanel(HWND panel) {
        ::PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        const bool told = ::WaitForSingleObject(g_host.panelClosed, kCloseTimeoutMs) == WAIT_OBJECT_0;
        WaitUntil(5000, [&] { return !::IsWindow(panel); });
        return told;
    }

    void StartDialogCodes() {
        auto start = Need<kit::StartDialogFn>("StartDialog refusals", "StartDialog");
        if (!start)
            return;
        const struct {
            const char* name;
            DWORD setting;
            bool technical;
            int want;
        } cases[] = {
            {"StartDialog: StartPGM bit 24 refuses (3, log 403)", 0x01000000, false, 3},
            {"StartDialog: StartPGM bit 25 refuses (3, log 403)", 0x02000000, false, 3},
            {"StartDialog: bit 25 ignored in the technical menu", 0x02000000, true, kSuccess},
        };
        for (const auto& c : cases) {
            StartSettingScope setting(c.setting);
            m_unit.Send(c.technical ? "technical on" : "technical off");
            if (c.want == kSuccess) {
                if (HWND panel = StartPanel(c.name, 1)) {
                    const bool closed = CancelPanel(panel);
                    m_report.Add("panel closed by the operator: notifications 1, 3",
                                 closed && Events() == std::vector<int>{1, 3}, Joined(Events()));
                }
            } else {
                uint32_t slot = 0xFFFFFFFF;
                uint32_t text[64] = {};
                ForgetEvents();
                const int got = start(0, &slot, &OnModuleEvent, 1, text);
                const std::string log = NewestLogLine();
                m_report.Add(
                    c.name, got == 3 && LogLineNames(log, 403, "StartDialog") && Events().empty(),
                    Format("%d, notifications %s, log \"%s\"", got, Joined(Events()).c_str(), log.c_str()));
            }
        }
        m_unit.Send("technical off");
    }

    // A small 8-bit preview as a host sends it while it acquires.
    static HGLOBAL PreviewBlock() {
        return platform::NewGreyDib(64, 32, [](int x, int y) { return static_cast<uint8_t>(y * 64 + x); });
    }

    // One exposure from the host's side: panel up, unit ready, switch pressed, notification 0, a preview,
    // the cycle's end, the end-of-acquisition message, notifications 1 and 3.
    bool Shot(const std::string& tag, const char* program, int rotation) {
        m_unit.Send("wait 0");
        m_unit.Send("rotation " + std::to_string(rotation));
        m_unit.Send(program);
        HWND panel = StartPanel(tag + ": StartDialog opens the panel", 1);
        if (!panel)
            return false;
        if (auto mainWindow = m_module.Get<kit::MainWindowFn>("GetMainWindowHandle")) {
            HWND got = mainWindow();
            m_report.Add(tag + ": GetMainWindowHandle with the panel open", got == nullptr || got == panel,
                         got == panel ? "the panel's window"
                         : got        ? "another window"
                                      : "0 (host thread)");
        }
        // Bad preview handles are refused and the panel stays.
        ::SendMessageA(panel, kMsgPreview, 0, 0);
        ::SendMessageA(panel, kMsgPreview, static_cast<WPARAM>(0xDEADBEEF), 0);
        m_report.Add(tag + ": preview with a bad handle refused", ::IsWindow(panel) != FALSE,
                     ::IsWindow(panel) ? "panel still open" : "panel gone");

        const bool ready = m_unit.WaitField("ready", "1", kReadyTimeoutMs);
        if (!m_report.Add(
                tag + ": unit ready", ready,
                ready ? "program " + m_unit.Field("program")
                      : Format("program %s, waiting %s s, panel %s%s, error %s, cycle %s",
                               m_unit.Field("program").c_str(), m_unit.Field("waiting").c_str(),
                               m_unit.Field("panel").c_str(),
                               ::GetForegroundWindow() == panel ? " (foreground)" : " (not foreground)",
                               m_unit.Field("error").c_str(), m_unit.Field("cycle").c_str()))) {
            CancelPanel(panel);
            return false;
        }
        m_unit.Send("expose");
        double emissionAtMs = 0;
        bool told = false;
        const DWORD t0 = ::GetTickCount();
        while (!told && ::GetTickCount() - t0 < kNotifyTimeoutMs) {
            if (emissionAtMs == 0 && m_unit.Field("emission") == "1")
                emissionAtMs = NowMs();
            told = ::WaitForSingleObject(g_host.cycleStarted, 2) == WAIT_OBJECT_0;
        }
        double delayMs = 0;
        int mirrorAtZero = -1;
        {
            std::lock_guard lock(g_host.mutex);
            delayMs = emissionAtMs > 0 ? g_host.cycleStartAtMs - emissionAtMs : -1;
            mirrorAtZero = g_host.mirrorAtCycleStart;
        }
        m_report.Add(tag + ": notification 0 during the emission", told,
                     told ? Format("%.0f ms after the emission started", delayMs) : "not received");
        if (told) {
            HGLOBAL block = PreviewBlock();
            ::SendMessageA(panel, kMsgPreview, reinterpret_cast<WPARAM>(block), 0);
            ::GlobalFree(block);
            const bool wantMirror = rotation == 0;
            m_report.Add(tag + ": mirror flag refreshed before notification 0", mirrorAtZero == wantMirror,
                         Format("bHaveToMirror %s with the unit's rotation %d",
                                mirrorAtZero < 0 ? "unknown"
                                : mirrorAtZero   ? "true"
                                                 : "false",
                                rotation));
        }
        const bool ended = m_unit.WaitField("cycle", "0", kCycleEndTimeoutMs);
        ::PostMessageA(panel, kMsgEndAcquisition, 0, 0);
        const bool closed = ::WaitForSingleObject(g_host.panelClosed, kCloseTimeoutMs) == WAIT_OBJECT_0;
        WaitUntil(5000, [&] { return !::IsWindow(panel); });
        const std::vector<int> events = Events();
        const std::vector<int> want = {0, 1, 3};
        m_report.Add(tag + ": notifications 0, 1, 3", ended && closed && events == want && !::IsWindow(panel),
                     Format("%s%s%s", Joined(events).c_str(), ended ? "" : ", the cycle did not end",
                            ::IsWindow(panel) ? ", panel still open" : ", panel closed"));
        return told && closed;
    }

    // The host's copy of a record: filled over a larger pattern buffer, so a write past the record's
    // size shows, and the highest byte written is the size measured.
    struct Copy {
        uint8_t bytes[512];
        long lastWritten = -1;
    };
    bool FetchRecord(const std::string& check, Copy& copy, const char* exportName = "GetInfosTir",
                     uint8_t pattern = 0xCD) {
        auto f = Need<kit::RecordFn>(check, exportName);
        if (!f)
            return false;
        std::memset(copy.bytes, pattern, sizeof copy.bytes);
        uint8_t before[sizeof copy.bytes];
        std::memcpy(before, copy.bytes, sizeof before);
        f(copy.bytes);
        copy.lastWritten = kit::LastDifference(copy.bytes, before, sizeof before);
        return true;
    }

    static bool Near(float value, const std::string& text) {
        return !text.empty() && std::fabs(value - std::strtod(text.c_str(), nullptr)) < 0.005;
    }

    void PanoRecord() {
        Copy r;
        if (!FetchRecord("panoramic record", r))
            return;
        using namespace kit::pano;
        // Two patterns, so a byte the module leaves as the host had it is not taken for the size.
        Copy r2;
        FetchRecord("panoramic record", r2, "GetInfosTir", 0x5A);
        const long last = std::max(r.lastWritten, r2.lastWritten);
        m_report.Add("panoramic record: 211 bytes",
                     last >= static_cast<long>(kRealResolution + 15) &&
                         last < static_cast<long>(kit::kPanoRecordSize),
                     Format("last byte written %ld", last));
        const uint8_t* b = r.bytes;
        const std::string kv = m_unit.Field("kv"), ma = m_unit.Field("ma"), time = m_unit.Field("time"),
                          nox = m_unit.Field("nox");
        const uint16_t program = kit::U16At(b, kProgramCode);
        const void* nameEnd = std::memchr(b + kProgramName, 0, kProgramNameSize);
        const uint32_t doseKind = kit::U32At(b, kDoseKind);
        const struct {
            const char* field;
            bool pass;
            std::string figure;
        } fields[] = {
            {"program code @0, name @2", program >= 180 && program <= 201 && nameEnd && b[kProgramName] != 0,
             Format("%u \"%s\"", program, nameEnd ? reinterpret_cast<const char*>(b + kProgramName) : "?")},
            {"NOX @32", std::to_string(b[kNox]) == nox, Format("%u, unit %s", b[kNox], nox.c_str())},
            {"kV @33", Near(kit::F32At(b, kKv), kv), Format("%.2f, unit %s", kit::F32At(b, kKv), kv.c_str())},
            {"mA @37", Near(kit::F32At(b, kMa), ma), Format("%.2f, unit %s", kit::F32At(b, kMa), ma.c_str())},
            {"time @41", Near(kit::F32At(b, kTime), time),
             Format("%.2f s, unit %s", kit::F32At(b, kTime), time.c_str())},
            {"refreshed @45", kit::U32At(b, kRefreshed) == 1, Format("%u", kit::U32At(b, kRefreshed))},
            {"sections @49", kit::U16At(b, kSectionCount) == 1, Format("%u", kit::U16At(b, kSectionCount))},
            {"dose @91, @95, kind @99",
             (doseKind == 1 || doseKind == 2) && std::isfinite(kit::F32At(b, kDose1)) &&
                 kit::F32At(b, kDose1) >= 0 && std::isfinite(kit::F32At(b, kDose2)),
             Format("%g, %g, kind %u", kit::F32At(b, kDose1), kit::F32At(b, kDose2), doseKind)},
            {"display resolution @103",
             kit::F64At(b, kDisplayResolution) == kit::kPanoDisplayResolution &&
                 kit::F64At(b, kDisplayResolution + 8) == kit::kPanoDisplayResolution,
             Format("%.17g %.17g", kit::F64At(b, kDisplayResolution), kit::F64At(b, kDisplayResolution + 8))},
            {"real resolution @119",
             kit::F64At(b, kRealResolution) == kit::kPanoRealResolution &&
                 kit::F64At(b, kRealResolution + 8) == kit::kPanoRealResolution,
             Format("%.17g %.17g", kit::F64At(b, kRealResolution), kit::F64At(b, kRealResolution + 8))},
        };
        for (const auto& f : fields)
            m_report.Add(std::string("panoramic record: ") + f.field, f.pass, f.figure);
    }

    // GetExpositionTime changes only the time, the doses and the dose kind of the host's record, with
    // the values GetInfosTir gives.
    void ExpositionTime() {
        Copy e;
        if (!FetchRecord("GetExpositionTime: four fields only", e, "GetExpositionTime", 0x5A))
            return;
        using namespace kit::pano;
        long stray = -1;
        for (size_t i = 0; i < sizeof e.bytes && stray < 0; ++i)
            if (e.bytes[i] != 0x5A && !kit::ExpositionTimeMayWrite(i))
                stray = static_cast<long>(i);
        Copy r;
        const bool compared = m_module.Find("GetInfosTir") && FetchRecord("", r);
        const bool same = compared && std::memcmp(e.bytes + kTime, r.bytes + kTime, 4) == 0 &&
                          std::memcmp(e.bytes + kDose1, r.bytes + kDose1, 12) == 0;
        m_report.Add("GetExpositionTime: four fields only", stray < 0 && (same || !compared),
                     Format("time %.2f s, kind %u; %s%s", kit::F32At(e.bytes, kTime),
                            kit::U32At(e.bytes, kDoseKind),
                            stray < 0 ? "nothing else written" : Format("byte %ld written", stray).c_str(),
                            !compared ? ", not compared (no GetInfosTir)"
                            : same    ? ", same values as GetInfosTir"
                                      : ", values differ from GetInfosTir"));
    }

    void TmjRecord() {
        Copy r;
        if (!FetchRecord("TMJ record", r))
            return;
        const uint8_t* b = r.bytes;
        const uint16_t program = kit::U16At(b, kit::pano::kProgramCode);
        m_report.Add("TMJ record: program code 188", program == 188, Format("%u", program));
        uint8_t want[kit::kPanoRecordSize] = {};
        PutSections(want, 4, kit::Sections{{0, 886, 1772, 2658}, {836, 836, 836, 836}});
        const bool pass = std::memcmp(b + kit::pano::kSectionCount, want + kit::pano::kSectionCount, 18) == 0;
        m_report.Add("TMJ record: four sections @49", pass,
                     Format("%u: %s", kit::U16At(b, kit::pano::kSectionCount), SectionText(b).c_str()));
    }

    void CephRecord(unsigned char mode) {
        const std::string tag = Format("cephalometric record (mode %u)", mode);
        HWND panel = StartPanel(tag + ": StartDialog opens the panel", mode);
        if (!panel)
            return;
        const bool told = CancelPanel(panel);
        const std::vector<int> events = Events();
        m_report.Add(tag + ": notifications 1, 3", told && events == std::vector<int>{1, 3}, Joined(events));
        Copy r, r2;
        if (!FetchRecord(tag, r) || !FetchRecord(tag, r2, "GetInfosTir", 0x5A))
            return;
        const long last = std::max(r.lastWritten, r2.lastWritten);
        const uint8_t* b = r.bytes;
        using namespace kit::ceph;
        const std::string kv = m_unit.Field("kv");
        const bool pass = last >= static_cast<long>(kRealResolution + 15) &&
                          last < static_cast<long>(kit::kCephRecordSize) && kit::U32At(b, kRefreshed) == 1 &&
                          Near(kit::F32At(b, kKv), kv) &&
                          kit::F64At(b, kRealResolution) == kit::kCephaloRealResolution &&
                          kit::F64At(b, kRealResolution + 8) == kit::kCephaloRealResolution;
        m_report.Add(tag + ": 293 bytes, kV @32, refreshed @44, resolution @196", pass,
                     Format("last byte written %ld; kV %.2f (unit %s), refreshed %u, resolution %.17g %.17g",
                            last, kit::F32At(b, kKv), kv.c_str(), kit::U32At(b, kRefreshed),
                            kit::F64At(b, kRealResolution), kit::F64At(b, kRealResolution + 8)));
    }

    Report& m_report;
    kit::Module& m_module;
    std::string m_path;
    double m_speed;
    bool m_probes;
    kit::Unit m_unit;
};

std::string BesideThisProgram(const char* file) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.find_last_of("\\/") + 1) + file;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--probe") == 0)
        return kit::RunProbe(argv[2], argv[3]);
    std::string path = BesideThisProgram("Lumen70_Demo.dll");
    double speed = 8;
    bool probes = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--speed" && i + 1 < argc && std::atof(argv[i + 1]) > 0) {
            speed = std::atof(argv[++i]);
        } else if (a == "--no-probes") {
            probes = false;
        } else if (!a.empty() && a[0] != '-') {
            path = a;
        } else {
            std::fprintf(stderr, "usage: lumen_conformance [MODULE_PATH] [--speed N] [--no-probes]\n"
                                 "  checks the module against the host contract with the unit emulator's\n"
                                 "  Nxjbus.dll beside it; exit code 0 only when every check passes\n"
                                 "  --no-probes skips the null-argument calls (one child process each)\n");
            return 2;
        }
    }
    char full[MAX_PATH] = {};
    if (::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr) > 0)
        path = full;

    Report report(stdout);
    report.Note("module " + path);
    // The display is brought up on this thread before the box watcher enumerates windows.
    ::GetSystemMetrics(SM_CXSCREEN);
    BoxWatcher boxes;
    kit::Module module(path);
    if (!report.Add("module loads", module.Loaded(),
                    module.Loaded()
                        ? "loaded"
                        : Format("LoadLibrary error %lu (NxLang.dll beside it? a screen of 1024 x 768?)",
                                 module.LoadError())))
        return report.Finish();
    Kit checks(report, module, path, speed, probes);
    checks.Run();
    checks.MessageBoxes(boxes);
    return report.Finish();
}
