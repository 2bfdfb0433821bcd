// The demo host: loads the acquisition module as an imaging application does, opens the link, runs
// the panel and prints what the module hands back. With --program it takes a whole shot against the
// embedded unit emulator: presses the exposure switch through the emulator's control line, acquires a
// synthetic phantom when told to, re-arranges it with the module, sends previews, ends the panel and
// writes the picture (PNG), the two records (JSON) and panel screenshots into the --out folder. With
// --unit (a control line for the embedded emulator: "error 1", "conditions 0x300" ...) and --service
// (a service dialog opened from the panel's menu commands) it screenshots the panel and its dialog.
// --language fr runs the module installed with the French language library (the fr folder beside).
//   demohost [--module PATH] [--language en|fr] [--mode 0|1] [--close-after MS] [--text "user text"]
//            [--program pano|tmj4] [--out FOLDER] [--speed N] [--rotation 0|1] [--service ID]
//            [--unit "control line"]...
#include "demohost/DemoImage.h"
#include "platform/GreyDib.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <atomic>
#include <vector>

namespace {

using NotifyFn = void (*)(int32_t);
using OpenCommPortFn = int (*)();
using StartDialogFn = int (*)(uint32_t, uint32_t*, NotifyFn, unsigned char, const uint32_t*);
using GetInfosTirFn = void (*)(void*);
using GetInfoFileNameFn = void (*)(char*);
struct VersionEntry {
    char* name;
    char* version;
    char* date;
    VersionEntry* next;
};

constexpr DWORD kPanelThreadEndWaitMs = 10000;

HANDLE g_panelClosed = nullptr;
HANDLE g_cycleStarted = nullptr;
std::atomic<double> g_notifiedAtMs{0};

double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void OnModuleEvent(int32_t event) {
    if (event == 0) {
        g_notifiedAtMs = NowMs();
        if (g_cycleStarted)
            ::SetEvent(g_cycleStarted);
    }
    std::printf("host notification: %d%s\n", event,
                event == 0   ? " (exposure cycle started: acquire now)"
                : event == 1 ? " (panel closed)"
                             : "");
    std::fflush(stdout);
    if (event == 3)
        ::SetEvent(g_panelClosed);
}

template <typename F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

std::string BesideExe(const char* file) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.find_last_of("\\/") + 1) + file;
}

// ---- A whole shot against the embedded unit emulator -----------------------------------------------

using ControlFn = int (*)(const char*, char*, int);
using ReArrangementFn = void (*)(unsigned char*, int, unsigned char*);
struct TmjImage {
    int32_t width, height, reserved1, reserved2;
    uint16_t* pixels;
};
using TraitementAtm4Fn = void (*)(TmjImage*, unsigned char*);
using MirrorFn = bool (*)();

constexpr UINT kMsgPreview = 0x65A;
constexpr UINT kMsgEndAcquisition = 0x65B;
constexpr int kPreviewWidth = 505, kPreviewHeight = 276;
constexpr int kPreviewSteps = 5;
constexpr int kTmjHeight = 400;
constexpr int kCaptionParameters = 1059;

// The unit's control line (the emulator's in-process bus library exports it).
class UnitControl {
public:
    explicit UnitControl(ControlFn fn) : m_fn(fn) {}
    bool Send(const std::string& line) const { return m_fn && m_fn(line.c_str(), nullptr, 0) == 0; }
    std::string Field(const std::string& key) const {
        char reply[2048] = {};
        if (!m_fn || m_fn("status", reply, sizeof reply) != 0)
            return "";
        const std::string line = reply;
        const size_t at = line.find(" " + key + "=");
        if (at == std::string::npos && line.rfind(key + "=", 0) != 0)
            return "";
        const size_t start = (at == std::string::npos ? 0 : at + 1) + key.size() + 1;
        return line.substr(start, line.find(' ', start) - start);
    }
    bool WaitField(const std::string& key, const std::string& value, DWORD timeoutMs) const {
        const DWORD start = ::GetTickCount();
        while (Field(key) != value) {
            if (::GetTickCount() - start > timeoutMs)
                return false;
            ::Sleep(5);
        }
        return true;
    }

private:
    ControlFn m_fn;
};

// The panel as it stands on the screen, as a colour PNG.
bool SaveScreenshot(HWND panel, const std::string& path) {
    RECT r{};
    if (!::GetWindowRect(panel, &r))
        return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const size_t stride = static_cast<size_t>((w * 3 + 3) / 4 * 4);
    std::vector<uint8_t> bgr(stride * h);
    const int rows = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), bgr.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (rows != h)
        return false;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                rgb[(static_cast<size_t>(y) * w + x) * 3 + c] = bgr[y * stride + x * 3 + (2 - c)];
    return demo::WriteFile(path, demo::EncodePng(w, h, 3, rgb));
}

// A preview of the rows acquired so far, scaled into the panel's preview area; the caller keeps and
// frees the block.
HGLOBAL PreviewBlock(const std::vector<uint16_t>& image, int width, int rows, int rowsDone) {
    return platform::NewGreyDib(kPreviewWidth, kPreviewHeight, [&](int x, int y) {
        const int source = y * rows / kPreviewHeight;
        return source < rowsDone
                   ? static_cast<uint8_t>(image[static_cast<size_t>(source) * width + x * width / kPreviewWidth] >> 4)
                   : uint8_t{0};
    });
}

float FloatAt(const unsigned char* r, size_t at) {
    float v;
    std::memcpy(&v, r + at, sizeof v);
    return v;
}
uint32_t U32At(const unsigned char* r, size_t at) {
    uint32_t v;
    std::memcpy(&v, r + at, sizeof v);
    return v;
}
uint16_t U16At(const unsigned char* r, size_t at) {
    return static_cast<uint16_t>(r[at] | (r[at + 1] << 8));
}
double DoubleAt(const unsigned char* r, size_t at) {
    double v;
    std::memcpy(&v, r + at, sizeof v);
    return v;
}

std::string JsonText(const unsigned char* bytes, size_t size) {
    std::string text = "\"";
    for (size_t i = 0; i < size && bytes[i]; ++i) {
        const unsigned char c = bytes[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c < 32 || c > 126) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text + "\"";
}

struct ShotOptions {
    std::string program; // "pano" or "tmj4"
    std::string out;
    double speed = 4;
    std::string rotation; // the unit's rotation flag for this shot; empty keeps the unit's
};

// Runs one exposure on an open panel; false when the unit or the module did not go through with it.
bool TakeShot(HMODULE module, HWND panel, const ShotOptions& options, const UnitControl& unit,
              std::string& json) {
    const bool tmj4 = options.program == "tmj4";
    const std::string prefix = options.out + "\\" + options.program;
    if (!unit.WaitField("ready", "1", 15000)) {
        std::printf("the unit is not ready for an exposure\n");
        return false;
    }
    ::Sleep(600); // a few polls, so the panel shows the unit's state
    SaveScreenshot(panel, prefix + "-panel-before.png");

    // The emission start, seen at the unit, against the host's notification.
    std::atomic<double> emissionAtMs{0};
    std::atomic<bool> watch{true};
    std::thread watcher([&] {
        while (watch && emissionAtMs == 0) {
            if (unit.Field("emission") == "1")
                emissionAtMs = NowMs();
            ::Sleep(1);
        }
    });
    std::printf("pressing the exposure switch\n");
    unit.Send("expose");
    const bool told = ::WaitForSingleObject(g_cycleStarted, 30000) == WAIT_OBJECT_0;
    watch = false;
    watcher.join();
    if (!told) {
        std::printf("the module did not ask for an acquisition\n");
        return false;
    }
    const double notifyDelayMs = g_notifiedAtMs - emissionAtMs;
    std::printf("acquire: told %.1f ms after the emission started\n", notifyDelayMs);

    // The sensor's lines follow the unit's rotation: turning the other way, each line arrives reversed.
    const bool reversed = unit.Field("rotation") == "0";
    const std::vector<uint16_t> phantom = demo::PanoramicPhantom();
    std::vector<uint8_t> raw = demo::SensorLines(phantom, demo::kPhantomRows, reversed);
    std::vector<uint8_t> arranged(raw.size());
    auto rearrange = Export<ReArrangementFn>(module, "ReArrangement");
    std::vector<double> previewMs;
    int done = 0;
    HWND previewArea = ::GetDlgItem(panel, 23136);
    for (int step = 1; step <= kPreviewSteps; ++step) {
        const int upTo = demo::kPhantomRows * step / kPreviewSteps;
        const size_t at = static_cast<size_t>(done) * demo::kLinePixels * 2;
        rearrange(arranged.data() + at, (upTo - done) * demo::kLinePixels, raw.data() + at);
        done = upTo;
        std::vector<uint16_t> sofar(arranged.size() / 2);
        std::memcpy(sofar.data(), arranged.data(), arranged.size());
        HGLOBAL block = PreviewBlock(sofar, demo::kLinePixels, demo::kPhantomRows, done);
        const double t0 = NowMs();
        ::SendMessageA(panel, kMsgPreview, reinterpret_cast<WPARAM>(block), 0);
        if (previewArea)
            ::UpdateWindow(previewArea); // painted on the panel's thread before this returns
        previewMs.push_back(NowMs() - t0);
        ::GlobalFree(block);
        if (step == 3)
            SaveScreenshot(panel, prefix + "-panel-during.png");
        ::Sleep(250);
    }
    if (!unit.WaitField("cycle", "0", 60000)) {
        std::printf("the exposure did not end\n");
        return false;
    }
    // The operator looks at the shot's parameters: the parameter page's caption.
    ::SendMessageA(panel, WM_COMMAND, MAKEWPARAM(kCaptionParameters, BN_CLICKED), 0);
    ::Sleep(600);
    SaveScreenshot(panel, prefix + "-panel-after.png");
    const std::string unitKv = unit.Field("kv"), unitMa = unit.Field("ma"), unitTime = unit.Field("time"),
                      rotation = unit.Field("rotation");
    const bool mirror = Export<MirrorFn>(module, "bHaveToMirror")();

    std::printf("ending the acquisition (0x65B)\n");
    ::PostMessageA(panel, kMsgEndAcquisition, 0, 0);
    ::WaitForSingleObject(g_panelClosed, 20000);

    unsigned char record[293] = {};
    Export<void (*)(void*)>(module, "GetInfosTir")(record);
    unsigned char exposition[211] = {};
    Export<void (*)(void*)>(module, "GetExpositionTime")(exposition);

    std::vector<uint16_t> picture(arranged.size() / 2);
    std::memcpy(picture.data(), arranged.data(), arranged.size());
    const std::string panoPng = prefix + ".png";
    demo::WriteFile(panoPng,
                    demo::EncodePng(demo::kLinePixels, demo::kPhantomRows, 1, demo::ToGrey8(picture)));
    std::string tmjPng;
    if (tmj4) {
        const int sections = U16At(record, 49);
        int offsets[4] = {}, widths[4] = {};
        for (int k = 0; k < 4 && k < sections; ++k) {
            offsets[k] = U16At(record, 51 + 4 * k);
            widths[k] = U16At(record, 53 + 4 * k);
        }
        const int width = offsets[3] + widths[3];
        if (sections == 4 && width > 0) {
            std::vector<uint16_t> tmj = demo::TmjPhantom(width, kTmjHeight, offsets, widths);
            demo::WriteFile(prefix + "-raw.png", demo::EncodePng(width, kTmjHeight, 1, demo::ToGrey8(tmj)));
            TmjImage image{width, kTmjHeight, 0, 0, tmj.data()};
            Export<TraitementAtm4Fn>(module, "TraitementATM4Images")(&image, record);
            tmjPng = prefix + "-reordered.png";
            demo::WriteFile(tmjPng, demo::EncodePng(width, kTmjHeight, 1, demo::ToGrey8(tmj)));
        } else {
            std::printf("the record has %d sections: no four-image TMJ picture\n", sections);
        }
    }

    char buffer[4096];
    std::string sectionsJson;
    for (int k = 0; k < 4; ++k) {
        std::snprintf(buffer, sizeof buffer, "%s{\"offset\": %u, \"width\": %u}", k ? ", " : "",
                      U16At(record, 51 + 4 * k), U16At(record, 53 + 4 * k));
        sectionsJson += buffer;
    }
    std::string previews;
    for (size_t i = 0; i < previewMs.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%.1f", i ? ", " : "", previewMs[i]);
        previews += buffer;
    }
    std::snprintf(
        buffer, sizeof buffer,
        "{\n  \"program\": \"%s\",\n  \"image\": \"%s\",\n  \"image_width\": %d,\n  \"image_rows\": %d,\n"
        "  \"mirror\": %s,\n"
        "  \"unit\": {\"kv\": %s, \"ma\": %s, \"time\": %s, \"rotation\": %s},\n"
        "  \"infos_tir\": {\"program_code\": %u, \"program_name\": %s, \"nox\": %u, \"kv\": %.2f, \"ma\": "
        "%.2f,"
        " \"time\": %.2f, \"refreshed\": %u, \"section_count\": %u, \"sections\": [%s], \"dose1\": %.4f,"
        " \"dose2\": %.4f, \"dose_kind\": %u, \"display_resolution\": [%.17g, %.17g],"
        " \"real_resolution\": [%.17g, %.17g]},\n"
        "  \"exposition_time\": {\"time\": %.2f, \"dose1\": %.4f, \"dose2\": %.4f, \"dose_kind\": %u},\n"
        "  \"measured_ms\": {\"emission_to_notification\": %.1f, \"preview_to_screen\": [%s]}\n}\n",
        options.program.c_str(),
        (options.program + (tmj4 && !tmjPng.empty() ? "-reordered.png" : ".png")).c_str(), demo::kLinePixels,
        demo::kPhantomRows, mirror ? "true" : "false", unitKv.c_str(), unitMa.c_str(), unitTime.c_str(),
        rotation.c_str(), U16At(record, 0), JsonText(record + 2, 30).c_str(), record[32], FloatAt(record, 33),
        FloatAt(record, 37), FloatAt(record, 41), U32At(record, 45), U16At(record, 49), sectionsJson.c_str(),
        FloatAt(record, 91), FloatAt(record, 95), U32At(record, 99), DoubleAt(record, 103),
        DoubleAt(record, 111), DoubleAt(record, 119), DoubleAt(record, 127), FloatAt(exposition, 41),
        FloatAt(exposition, 91), FloatAt(exposition, 95), U32At(exposition, 99), notifyDelayMs,
        previews.c_str());
    json = buffer;
    return true;
}

// The service dialog the panel opened: a visible window of the panel's thread that the panel owns.
HWND WaitForServiceDialog(HWND panel, DWORD timeoutMs) {
    struct Search {
        HWND panel, found;
    } search{panel, nullptr};
    const DWORD thread = ::GetWindowThreadProcessId(panel, nullptr);
    for (DWORD waited = 0; waited < timeoutMs && !search.found; waited += 100) {
        ::Sleep(100);
        ::EnumThreadWindows(
            thread,
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                if (w != s->panel && ::IsWindowVisible(w) && ::GetWindow(w, GW_OWNER) == s->panel) {
                    s->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

// What the operator sees in a given situation: the unit's control lines (an error, conditions ...) are
// applied once the panel is up, then service dialog `id` (0: none) is opened as its menu item would.
// Screenshots of the panel and of the dialog it shows (service-ID.png, or dialog.png for one the unit
// caused); the unit is quietened again before the dialog is closed, so that it does not come back.
bool Inspect(HWND panel, const UnitControl& unit, const std::vector<std::string>& unitLines, unsigned id,
             const std::string& out) {
    ::CreateDirectoryA(out.c_str(), nullptr);
    ::Sleep(1500); // a few polls: the displays show the unit's state
    for (const std::string& line : unitLines)
        if (!unit.Send(line))
            std::fprintf(stderr, "the unit refused \"%s\"\n", line.c_str());
    if (!unitLines.empty())
        ::Sleep(4000); // one rotation of the information messages, or the error's processing
    SaveScreenshot(panel, out + "\\panel.png");
    std::printf("panel: %s\\panel.png\n", out.c_str());
    if (id != 0)
        ::PostMessageA(panel, WM_COMMAND, id, 0);
    HWND dialog = id != 0 || !unitLines.empty() ? WaitForServiceDialog(panel, id != 0 ? 10000 : 2000) : nullptr;
    if (!unitLines.empty()) {
        unit.Send("error 0");
        unit.Send("conditions 0");
    }
    if (!dialog) {
        if (id != 0)
            std::fprintf(stderr, "service command %u opened no dialog\n", id);
        return id == 0;
    }
    ::Sleep(1000); // its first reads from the unit
    const std::string path = out + (id != 0 ? "\\service-" + std::to_string(id) : std::string("\\dialog")) + ".png";
    const bool saved = SaveScreenshot(dialog, path);
    std::printf("dialog: %s\n", saved ? path.c_str() : "no screenshot");
    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    std::string modulePath = BesideExe("Lumen70_Demo.dll");
    unsigned char mode = 1;
    long closeAfterMs = -1;
    std::string text = "Demo patient";
    ShotOptions shot;
    shot.out = BesideExe("shot");
    unsigned serviceId = 0;
    std::vector<std::string> unitLines;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else if (a == "--language" && i + 1 < argc &&
                 (std::strcmp(argv[i + 1], "en") == 0 || std::strcmp(argv[i + 1], "fr") == 0))
            // The language is chosen at installation: the library beside the module decides.
            modulePath = BesideExe(std::strcmp(argv[++i], "fr") == 0 ? "fr\\Lumen70_Demo.dll" : "Lumen70_Demo.dll");
        else if (a == "--service" && i + 1 < argc)
            serviceId = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 0));
        else if (a == "--unit" && i + 1 < argc)
            unitLines.push_back(argv[++i]);
        else if (a == "--mode" && i + 1 < argc)
            mode = static_cast<unsigned char>(std::atoi(argv[++i]));
        else if (a == "--close-after" && i + 1 < argc)
            closeAfterMs = std::atol(argv[++i]);
        else if (a == "--text" && i + 1 < argc)
            text = argv[++i];
        else if (a == "--program" && i + 1 < argc &&
                 (std::strcmp(argv[i + 1], "pano") == 0 || std::strcmp(argv[i + 1], "tmj4") == 0))
            shot.program = argv[++i];
        else if (a == "--out" && i + 1 < argc)
            shot.out = argv[++i];
        else if (a == "--speed" && i + 1 < argc)
            shot.speed = std::atof(argv[++i]);
        else if (a == "--rotation" && i + 1 < argc)
            shot.rotation = argv[++i];
        else {
            std::fprintf(
                stderr,
                "usage: demohost [--module PATH] [--language en|fr] [--mode 0|1] [--close-after MS]\n"
                "                [--text T] [--program pano|tmj4] [--out FOLDER] [--speed N]\n"
                "                [--rotation 0|1] [--service ID] [--unit LINE]...\n");
            return 2;
        }
    }

    // As a host loads it: the bus library it imports is looked for in the module's own folder (which
    // needs a full path).
    char fullPath[MAX_PATH] = {};
    if (::GetFullPathNameA(modulePath.c_str(), MAX_PATH, fullPath, nullptr) - 1u < MAX_PATH - 1u)
        modulePath = fullPath;
    HMODULE module = ::LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        std::fprintf(stderr,
                     "cannot load %s (error %lu): the language library must sit beside it and the "
                     "screen must be at least 1024 x 768\n",
                     modulePath.c_str(), ::GetLastError());
        return 1;
    }
    std::printf("loaded %s\n", modulePath.c_str());
    if (auto versions = Export<VersionEntry* (*)()>(module, "pRVGetVersion")) {
        for (VersionEntry* e = versions(); e; e = e->next)
            std::printf("  %-12s %-10s %s\n", e->name, e->version, e->date);
        Export<void (*)()>(module, "RVFreeVersion")();
    }

    int open = Export<OpenCommPortFn>(module, "OpenCommPort")();
    std::printf("OpenCommPort: %d%s\n", open, open == 15 ? " (link open, unit identified)" : " (no link)");

    g_panelClosed = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_cycleStarted = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    UnitControl unit(Export<ControlFn>(::GetModuleHandleA("Nxjbus.dll"), "EmuControl"));
    if (!shot.program.empty()) {
        if (open != 15 || !unit.Send("speed " + std::to_string(shot.speed))) {
            std::fprintf(stderr, "a shot needs the embedded unit emulator as Nxjbus.dll and an open link\n");
            return 1;
        }
        mode = 1;
        // The operator's choice on the unit's keypad: the four-image TMJ, or the full panoramic.
        unit.Send(shot.program == "tmj4" ? "command 0x1104" : "command 0x7004");
        if (!shot.rotation.empty())
            unit.Send("rotation " + shot.rotation);
        ::CreateDirectoryA(shot.out.c_str(), nullptr);
    }
    uint32_t userText[64] = {};
    std::memcpy(userText, text.c_str(), text.size() < 255 ? text.size() : 255);
    uint32_t window = 0;
    const DWORD before = ::GetTickCount();
    int start = Export<StartDialogFn>(module, "StartDialog")(0, &window, &OnModuleEvent, mode, userText);
    std::printf("StartDialog: %d, panel window 0x%08x, after %lu ms\n", start, window,
                ::GetTickCount() - before);
    std::fflush(stdout);
    if (start != 15)
        return 1;
    // The panel's thread goes on briefly after notification 3 (it tears the panel down); a careful host
    // lets it end before unloading, though the module copes with an unload at any moment.
    HWND panel = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    HANDLE panelThread = ::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(panel, nullptr));

    if (!shot.program.empty()) {
        std::string json;
        if (!TakeShot(module, panel, shot, unit, json)) {
            ::PostMessageA(panel, kMsgEndAcquisition, 0, 0);
            ::WaitForSingleObject(g_panelClosed, 20000);
            return 1;
        }
        const std::string records = shot.out + "\\" + shot.program + "-records.json";
        demo::WriteFile(records, std::vector<uint8_t>(json.begin(), json.end()));
        std::printf("picture, records and panel screenshots in %s (%s-*.png, %s-records.json)\n",
                    shot.out.c_str(), shot.program.c_str(), shot.program.c_str());
    }
    if (serviceId != 0 || !unitLines.empty()) {
        if (!Inspect(panel, unit, unitLines, serviceId, shot.out))
            closeAfterMs = 0;
        else if (closeAfterMs < 0)
            closeAfterMs = 500;
    }
    if (closeAfterMs >= 0) {
        if (::WaitForSingleObject(g_panelClosed, static_cast<DWORD>(closeAfterMs)) == WAIT_TIMEOUT) {
            std::printf("closing the panel (end of acquisition)\n");
            ::PostMessageA(reinterpret_cast<HWND>(static_cast<uintptr_t>(window)), 0x65B, 0, 0);
        }
    }
    ::WaitForSingleObject(g_panelClosed, INFINITE);

    unsigned char record[293] = {};
    Export<GetInfosTirFn>(module, "GetInfosTir")(record);
    char ini[MAX_PATH] = {};
    Export<GetInfoFileNameFn>(module, "GetInfoFileName")(ini);
    std::printf("shot record (%s): program code %u\n",
                mode == 1 ? "panoramic, 211 bytes" : "cephalometric, 293 bytes",
                record[0] | (record[1] << 8));
    std::printf("unit information file: %s\n", ini);
    if (panelThread) {
        if (::WaitForSingleObject(panelThread, kPanelThreadEndWaitMs) != WAIT_OBJECT_0)
            std::printf("the panel's thread has not ended after %lu ms; unloading anyway\n",
                        kPanelThreadEndWaitMs);
        ::CloseHandle(panelThread);
    }
    std::fflush(stdout);
    ::FreeLibrary(module);
    ::CloseHandle(g_panelClosed);
    return 0;
}
