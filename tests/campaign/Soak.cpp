// Soak: seeded random scenario steps on the panel against the emulated unit at ten times real time,
// a host thread calling the record and image exports beside it; what fails it is in the README.
//   soak.exe SECONDS [SEED] [SUMMARY-PATH]
#include "CampaignHarness.h"

#include "host/image/ImageServices.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <thread>

namespace {

using host::image::TmjImage;
constexpr int kTmjWidth = 3494;
constexpr unsigned char kGuardByte = 0xA5;
constexpr std::size_t kRawLineBytes = 2488;
constexpr std::size_t kGroups = 622;

// A closed panel's last two notifications are 1 then 3.
bool EndsClosed(const std::vector<std::int32_t>& events) {
    return events.size() >= 2 && events[events.size() - 2] == 1 && events.back() == 3;
}

// The record area a host handed over, past the largest record the module may write.
bool GuardIntact(const std::vector<unsigned char>& record, std::size_t written = 293) {
    return std::all_of(record.begin() + static_cast<std::ptrdiff_t>(written), record.end(),
                       [](unsigned char b) { return b == kGuardByte; });
}

std::vector<unsigned char> RawLines(std::size_t lines, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> raw(lines * kRawLineBytes);
    for (unsigned char& b : raw)
        b = static_cast<unsigned char>(random());
    return raw;
}

// Every line is its raw line's A pixels then B pixels, plain or reversed end for end (the mirror
// flag follows the unit and may change between calls, never within one).
bool ArrangedFrom(const std::vector<unsigned char>& arranged, const std::vector<unsigned char>& raw) {
    for (std::size_t line = 0; line + kRawLineBytes <= raw.size(); line += kRawLineBytes) {
        const unsigned char* in = raw.data() + line;
        const unsigned char* out = arranged.data() + line;
        bool plain = true, mirrored = true;
        for (std::size_t g = 0; g < kGroups && (plain || mirrored); ++g) {
            auto same = [&](std::size_t pixel, std::size_t at) {
                return out[2 * pixel] == in[at] && out[2 * pixel + 1] == in[at + 1];
            };
            plain = plain && same(g, 4 * g) && same(kGroups + g, 4 * g + 2);
            mirrored = mirrored && same(2 * kGroups - 1 - g, 4 * g) && same(kGroups - 1 - g, 4 * g + 2);
        }
        if (!plain && !mirrored)
            return false;
    }
    return true;
}

// The log is newest first: this run's entries, then the prefilled ones ("[OLD]"), the older part
// never beyond the cap (it may end in a line cut at the cap). Every whole line is an entry. Returns what
// is wrong (empty when the log is sound), counting this run's entries into `newEntries`.
std::string JudgeLog(const std::string& content, std::size_t cap, int& newEntries) {
    static const std::regex entry(R"(\d+:\[[^\]]{0,7}\];.*;\d\d/\d\d/\d{2,4} \d\dh\d\dmin;.*:-?\d+)");
    newEntries = 0;
    const std::size_t firstEnd = content.find("\r\n");
    if (firstEnd == std::string::npos)
        return "no whole entry";
    const std::size_t older = content.size() - (firstEnd + 2);
    if (older > cap)
        return "the older part holds " + std::to_string(older) + " bytes, beyond the cap of " + std::to_string(cap);
    bool old = false;
    int lineNumber = 0;
    for (std::size_t at = 0, end; at < content.size(); at = end + 2) {
        ++lineNumber;
        end = content.find("\r\n", at);
        if (end == std::string::npos) // only the cut at the cap may leave a partial line
            return older != cap ? "the last line is cut short below the cap" : "";
        const std::string line = content.substr(at, end - at);
        if (!std::regex_match(line, entry))
            return "line " + std::to_string(lineNumber) + " is not an entry: " + line.substr(0, 120);
        const bool isOld = line.find(":[OLD];") != std::string::npos;
        if (old && !isOld)
            return "a new entry below the older ones at line " + std::to_string(lineNumber);
        old = old || isOld;
        newEntries += isOld ? 0 : 1;
    }
    return "";
}

constexpr double kPollPeriodMs = 200;
// Bounds on a loaded 2-core machine: far above a healthy answer, far below a hang.
constexpr double kControlBoundMs = 2000;
constexpr double kExportBoundMs = 5000;
constexpr double kStartBoundMs = 5000;
constexpr DWORD kCloseBoundMs = 10000;
constexpr DWORD kMessageLoopBoundMs = 5000;
constexpr DWORD kPollProgressBoundMs = 8000;
constexpr DWORD kReadyBoundMs = 60000;
constexpr DWORD kExposureBoundMs = 30000;
constexpr UINT kLinkLostText = 4202; // the body of the box a lost link shows

using RecordFn = void (*)(void*);
using ReArrangementFn = void (*)(unsigned char*, int, unsigned char*);
using TmjFn = void (*)(void*, unsigned char*);
using TimingFn = int (*)(int, int*);
using CombineFn = int (*)(int, int);
using ResolutionFn = bool (*)(double*);
using FlagFn = bool (*)();
using PlainFn = int (*)();

// What a step may do to an exposure under way; all but None may leave it without a notification.
enum class Disruption { None, UnitError, SwitchReleased, Reset, LinkLost, AcquisitionFailed };
const char* Name(Disruption d) {
    constexpr const char* names[] = {"none", "unit error", "switch released", "reset", "link lost",
                                     "acquisition failed"};
    return names[static_cast<int>(d)];
}

class Soak {
public:
    Soak(double seconds, unsigned seed) : m_seconds(seconds), m_random(seed), m_seed(seed) {}
    ~Soak() {
        if (m_hostThread.joinable()) {
            while (!::PostThreadMessageA(m_hostThreadId, WM_QUIT, 0, 0))
                ::Sleep(10); // the thread has no message queue until its window is made
            m_hostThread.join();
        }
    }
    Soak(const Soak&) = delete;
    Soak& operator=(const Soak&) = delete;

    int Run(const std::string& summaryPath) {
        SetPortSettings();
        harness::ClearStartPgm();
        if (!PrefillLog() || !Load())
            return 2;
        std::thread host([this] { HostCalls(); });
        std::thread operatorAtPanel([this] { AnswerDialogs(); });
        const double end = NowMs() + 1000 * m_seconds;
        double nextLogCheck = NowMs() + 30000;
        while (NowMs() < end && m_failures.empty()) {
            if (!m_panel && !OpenPanel())
                break;
            Step();
            if (m_panel)
                CheckAlive();
            if (NowMs() > nextLogCheck) {
                CheckLog();
                nextLogCheck = NowMs() + 30000;
            }
        }
        m_stop = true;
        host.join();
        operatorAtPanel.join();
        if (m_panel)
            ClosePanel(false);
        CheckLog();
        Summarise(summaryPath);
        return m_failures.empty() ? 0 : 1;
    }

private:
    // A log that already holds its cap's worth, as on a unit in service for years: every entry the run
    // adds must push the oldest ones out.
    bool PrefillLog() {
        harness::DeleteLog();
        const std::string path = harness::LogPath();
        ::SHCreateDirectoryExA(nullptr, path.substr(0, path.find_last_of('\\')).c_str(), nullptr);
        std::ofstream out(path, std::ios::binary);
        if (!out) {
            std::printf("cannot write the event log %s\n", path.c_str());
            return false;
        }
        const std::string line = "3:[OLD];entry from a former session;01/02/26 08h15min;Prefill:1\r\n";
        for (size_t n = 0; n < kLogCap + 64 * 1024; n += line.size())
            out << line;
        return static_cast<bool>(out);
    }

    bool Load() {
        if (!(m_module = LoadModuleCopy("Lumen70_Soak.dll")) || !(m_control = EmulatorControl()))
            return false;
        Control("version 2.10");
        Control("speed 10");
        {
            std::lock_guard lock(g_eventMutex);
            g_hook = [this](int32_t event) {
                if (event == 0)
                    m_notifyMs = NowMs();
            };
        }
        // A window of the host's own, to take the foreground from the panel, on a thread that runs its
        // message loop as a host's interface thread does: a window whose thread only sleeps holds up
        // every activation change the panel's thread makes (they are sent to it), and the panel with it.
        m_hostThread = std::thread([this] {
            m_hostThreadId = ::GetCurrentThreadId();
            HWND window = ::CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                            100, nullptr, nullptr, nullptr, nullptr);
            m_hostWindow = window;
            MSG message;
            while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
            ::DestroyWindow(window);
        });
        return WaitFor([this] { return m_hostWindow.load() != nullptr; }, 20000);
    }

    void Fail(const std::string& what) {
        std::lock_guard lock(m_failureMutex);
        m_failures.push_back(what);
        std::printf("at %.1f s: %s\n", (NowMs() - m_runStartMs) / 1000, what.c_str());
        std::fflush(stdout);
    }

    void Control(const std::string& line) {
        const double before = NowMs();
        const int result = m_control(line.c_str(), nullptr, 0);
        const double took = NowMs() - before;
        m_worstControlMs = std::max(m_worstControlMs, took);
        if (result != 0)
            Fail("control line refused: " + line);
        if (took > kControlBoundMs)
            Fail("control line '" + line + "' took " + std::to_string(took) + " ms");
    }
    std::string StatusLine() { return ::StatusLine(m_control); }
    std::string Status(const std::string& key) { return Field(StatusLine(), key); }
    // Idle, or stopped by a fault or an abort.
    bool CycleEnded() {
        const std::string cycle = Status("cycle");
        return cycle == "0" || cycle == "6" || cycle == "7";
    }

    bool OpenPanel() {
        Control("fault none");
        Control("error 0");
        Control("acquisition ok");
        const unsigned char mode = static_cast<unsigned char>(m_random() % 4 == 0); // mostly panoramic
        StartTimes times;
        const std::string failed = ::OpenPanel(*m_module, mode, m_panel, &times);
        const double took = times.wallMs;
        if (took >= 0) {
            m_startMs.push_back(took);
            m_panelShown = m_panel;
            ++m_sessions;
        }
        if (!failed.empty()) {
            Fail(failed);
            m_panel = nullptr;
            return false;
        }
        if (took > kStartBoundMs)
            Fail("StartDialog took " + std::to_string(took) + " ms");
        return true;
    }

    // Waits for the panel to be gone and the host told 1 then 3, as a closed panel always ends.
    void ExpectClosed(const char* why) {
        if (!WaitFor([&] { return !::IsWindow(m_panel); }, kCloseBoundMs))
            Fail(std::string("the panel stayed open after ") + why);
        else if (!WaitFor([&] { return EndsClosed(Notified()); }, kCloseBoundMs))
            Fail(std::string("the host was not told 1 then 3 after ") + why);
        m_panel = nullptr;
    }

    void ClosePanel(bool byHost) {
        if (!::IsWindow(m_panel)) {
            ExpectClosed("the panel closed on its own");
            return;
        }
        ::SendMessageTimeoutA(m_panel, byHost ? kMsgHostEndAcquisition : WM_COMMAND, byHost ? 0 : IDCANCEL, 0,
                              SMTO_NORMAL, kMessageLoopBoundMs, nullptr);
        // The close key is ignored until the panel has seen the cycle end (its next poll after an exposure
        // step): the user presses it again, as often as needed within the bound.
        if (!byHost) {
            DWORD pressed = ::GetTickCount();
            WaitFor([&] {
                if (::IsWindow(m_panel) && ::GetTickCount() - pressed > 500) {
                    ::PostMessageA(m_panel, WM_COMMAND, IDCANCEL, 0);
                    pressed = ::GetTickCount();
                }
                return !::IsWindow(m_panel);
            }, kCloseBoundMs / 2);
        }
        ExpectClosed(byHost ? "the host ended the acquisition" : "the user closed it");
    }

    // The panel's message loop answers and it keeps polling the unit; a panel that closed itself (the
    // link lost) must have told the host.
    void CheckAlive() {
        if (!::IsWindow(m_panel)) {
            ExpectClosed("the panel closed on its own");
            ++m_selfClosed;
            return;
        }
        DWORD_PTR answer = 0;
        if (!::SendMessageTimeoutA(m_panel, WM_NULL, 0, 0, SMTO_NORMAL, kMessageLoopBoundMs, &answer) &&
            ::IsWindow(m_panel))
            Fail("the panel's message loop did not answer within " + std::to_string(kMessageLoopBoundMs) + " ms");
        const size_t polls = PollCount();
        if (!WaitFor([&] { return PollCount() > polls || !::IsWindow(m_panel); }, kPollProgressBoundMs))
            Fail("the panel stopped polling the unit: " + StatusLine());
    }

    void Foreground() {
        if (::IsWindow(m_panel)) {
            ::SetForegroundWindow(m_panel);
            ::BringWindowToTop(m_panel);
        }
    }

    int Pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }
    void Pause(int fromMs, int toMs) { ::Sleep(static_cast<DWORD>(fromMs + Pick(toMs - fromMs + 1))); }

    void Step() {
        ++m_steps;
        const int roll = Pick(100);
        if (roll < 35) {
            Exposure();
        } else if (roll < 45) {
            // A unit error shown for a while, then cleared as the unit's own restart would.
            constexpr int codes[] = {1, 10, 33, 55, 61};
            Control("error " + std::to_string(codes[Pick(5)]));
            Pause(200, 1500);
            Control("error 0");
        } else if (roll < 53) {
            Control("conditions " + std::to_string(1 << Pick(8)));
            Pause(200, 1500);
            Control("conditions 0");
        } else if (roll < 65) {
            // Line faults the retry absorbs, and one that is not.
            constexpr const char* faults[] = {"fault noanswer 1", "fault badcrc 1", "fault slow 150 1",
                                              "fault exception 6 1", "fault noanswer 2"};
            Control(faults[Pick(5)]);
            Pause(300, 1200);
            Control("fault none");
        } else if (roll < 78) {
            // The host's window takes the foreground, then the user comes back to the panel.
            ++m_focusChanges;
            ::SetForegroundWindow(m_hostWindow);
            Pause(300, 1000);
            Foreground();
            Pause(100, 400);
        } else if (roll < 83) {
            ClosePanel(false);
        } else {
            Pause(100, 600);
        }
    }

    void Exposure() {
        Foreground();
        if (!WaitFor([&] { return Status("ready") == "1" || !::IsWindow(m_panel); }, kReadyBoundMs)) {
            Fail("the unit never became ready to expose: " + StatusLine());
            return;
        }
        if (!::IsWindow(m_panel))
            return;
        const int roll = Pick(100);
        const Disruption disruption = roll < 60   ? Disruption::None
                                      : roll < 70 ? Disruption::UnitError
                                      : roll < 78 ? Disruption::SwitchReleased
                                      : roll < 85 ? Disruption::Reset
                                      : roll < 92 ? Disruption::LinkLost
                                                  : Disruption::AcquisitionFailed;
        if (disruption == Disruption::AcquisitionFailed)
            Control("acquisition fail");
        // The panel notifies at the poll that finds the emission; ten times faster, a cephalometric
        // emission (0.3 to 3 s) could fall between two polls, which no real unit can do. Such shots run
        // in real time.
        const bool shortEmission = std::atof(Status("time").c_str()) < 5.0;
        if (shortEmission)
            Control("speed 1");
        const size_t notifiedBefore = Count(0);
        const size_t boxesBefore = BoxTexts().size();
        m_notifyMs = 0;
        ++m_exposures;
        Control("expose");
        // Emission start as the host would see it on the unit, to the millisecond.
        double emissionMs = 0;
        const double pressed = NowMs();
        const bool early = disruption != Disruption::None && disruption != Disruption::AcquisitionFailed &&
                           Pick(2) == 0;
        if (!early) {
            while (NowMs() - pressed < kExposureBoundMs && ::IsWindow(m_panel)) {
                if (Status("emission") == "1") {
                    emissionMs = NowMs();
                    break;
                }
                ::Sleep(1);
            }
        } else {
            Pause(0, 400);
        }
        constexpr const char* kDisrupt[] = {nullptr, nullptr, "release", "command 0x0009", "fault noanswer 4", nullptr};
        if (disruption == Disruption::UnitError)
            Control("error " + std::to_string(Pick(2) ? 33 : 10));
        else if (const char* line = kDisrupt[static_cast<int>(disruption)])
            Control(line);
        const bool settled = WaitFor(
            [&] {
                if (Count(0) > notifiedBefore || !::IsWindow(m_panel))
                    return true;
                const bool ended = CycleEnded();
                return disruption != Disruption::None && ended;
            },
            kExposureBoundMs);
        const bool notified = Count(0) > notifiedBefore;
        if (notified) {
            ++m_notified;
            if (emissionMs > 0 && m_notifyMs > emissionMs && disruption == Disruption::None)
                m_latencyMs.push_back(m_notifyMs - emissionMs);
        } else if (disruption != Disruption::None) {
            ++m_explained[static_cast<int>(disruption)];
        } else if (!::IsWindow(m_panel) && LinkLostSince(boxesBefore)) {
            // A line fault of an earlier step lost the link while this exposure began: the panel told
            // the operator and closed, as it must.
            ++m_explained[static_cast<int>(Disruption::LinkLost)];
        } else {
            Fail(std::string(settled ? "an exposure ended" : "an exposure hung") +
                 " without a notification nor an error: " + StatusLine());
        }
        AfterExposure(notified);
        if (shortEmission)
            Control("speed 10");
    }

    // Every message box text the watcher answered in this run, oldest first.
    const std::vector<std::string>& BoxTexts() {
        for (std::string& text : m_boxes.TakeTexts())
            m_boxTexts.push_back(std::move(text));
        return m_boxTexts;
    }
    bool LinkLostSince(size_t box) {
        char linkLost[512] = {};
        ::LoadStringA(::GetModuleHandleA("NxLang.dll"), kLinkLostText, linkLost, sizeof linkLost);
        const std::vector<std::string>& texts = BoxTexts();
        return linkLost[0] && std::any_of(texts.begin() + static_cast<std::ptrdiff_t>(box), texts.end(),
                                          [&](const std::string& t) { return t == linkLost; });
    }

    // The host ends the acquisition once it has the picture (the panel closes), or leaves the panel
    // to the cycle's end; the operator then clears a stopped cycle and the run's faults.
    void AfterExposure(bool notified) {
        if (notified && ::IsWindow(m_panel) && Pick(2) == 0)
            ClosePanel(true);
        else
            WaitFor([&] { return CycleEnded() || !::IsWindow(m_panel); }, kExposureBoundMs);
        Control("fault none");
        Control("error 0");
        Control("acquisition ok");
        const std::string cycle = Status("cycle");
        if (cycle == "6" || cycle == "7")
            Control("cycle 0");
    }

    // The panel's own modal dialogs (set points, damaged blocks) wait for the operator, who answers
    // them after a moment; message boxes are the box watcher's.
    void AnswerDialogs() {
        std::map<HWND, double> seen;
        while (!m_stop) {
            for (HWND wnd : ShownDialogs()) {
                if (wnd == m_panelShown.load())
                    continue;
                auto [at, fresh] = seen.emplace(wnd, NowMs());
                if (!fresh && NowMs() - at->second > 500) {
                    ::PostMessageA(wnd, WM_COMMAND, IDOK, 0);
                    at->second = NowMs() + 2000; // again only if it stays
                    ++m_dialogsAnswered;
                }
            }
            ::Sleep(100);
        }
    }

    // The export `name` called as a host does, its time judged and kept.
    template <typename F, typename... Args> void Call(const char* name, Args... args) {
        const double before = NowMs();
        m_module->Get<F>(name)(args...);
        const double took = NowMs() - before;
        std::lock_guard lock(m_exportMutex);
        double& worst = m_worstExportMs[name];
        worst = std::max(worst, took);
        ++m_exportCalls;
        if (took > kExportBoundMs)
            Fail(std::string(name) + " took " + std::to_string(took) + " ms");
    }
    // ReArrangement of raw lines, which must come back as those lines de-interleaved.
    void Arrange(const std::vector<unsigned char>& raw, const char* what) {
        std::vector<unsigned char> out(raw.size());
        Call<ReArrangementFn>("ReArrangement", out.data(), static_cast<int>(raw.size() / 2),
                              const_cast<unsigned char*>(raw.data()));
        if (!ArrangedFrom(out, raw))
            Fail(std::string("ReArrangement gave ") + what + " not the raw lines de-interleaved");
    }

    void HostCalls() {
        std::minstd_rand random(m_seed * 7919u + 1);
        // Records with a guard past the larger (cephalometric) one: nothing may be written there.
        std::vector<unsigned char> record(kGuardedRecordBytes);
        const auto raw = RawLines(16, m_seed);
        std::vector<uint16_t> tmjPixels(kTmjWidth * 4);
        // Once, an image beyond the first caches: the wide paths write those another way.
        Arrange(RawLines(450, m_seed), "a large image whose lines are");
        while (!m_stop) {
            switch (random() % 9) {
            case 0:
            case 1:
                std::fill(record.begin(), record.end(), kGuardByte);
                Call<RecordFn>(random() % 2 ? "GetInfosTir" : "GetExpositionTime", record.data());
                if (!GuardIntact(record))
                    Fail("a record export wrote past the cephalometric record");
                break;
            case 2:
                Arrange(raw, "lines that are");
                break;
            case 3: {
                // Whatever layout the record holds: a refusal is fine, a crash or an overrun is not.
                m_module->Get<RecordFn>("GetInfosTir")(record.data());
                std::fill(tmjPixels.begin(), tmjPixels.end(), uint16_t{0x1234});
                TmjImage image{kTmjWidth, 4, 0, 0, tmjPixels.data()};
                Call<TmjFn>("TraitementATM4Images", &image, record.data());
                break;
            }
            case 4: {
                int table[16] = {};
                Call<TimingFn>("GetTiming", 0, table);
                break;
            }
            case 5:
                Call<CombineFn>("nCanCombineATM", 1, 1);
                break;
            case 6: {
                double resolution[2] = {};
                const char* names[] = {"bPanoResolution", "bPanoRealResolution", "bCephaloRealResolution"};
                Call<ResolutionFn>(names[random() % 3], resolution);
                break;
            }
            case 7:
                Call<FlagFn>("bHaveToMirror");
                break;
            default:
                Call<PlainFn>(random() % 2 ? "ReadPanoData" : "ReadCephaloData");
                break;
            }
            ::Sleep(static_cast<DWORD>(random() % 40));
        }
    }

    void CheckLog() {
        // Read as any reader should: under the log's lock, so that no entry is read half written.
        HANDLE lock = ::OpenMutexA(SYNCHRONIZE, FALSE, "HalvexPanoLogMutex");
        if (lock)
            ::WaitForSingleObject(lock, 10000);
        std::ifstream in(harness::LogPath(), std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (lock) {
            ::ReleaseMutex(lock);
            ::CloseHandle(lock);
        }
        m_logBytes = content.size();
        if (const std::string problem = JudgeLog(content, kLogCap, m_logNewEntries); !problem.empty())
            Fail("event log: " + problem);
    }

    void Summarise(const std::string& path) {
        std::string text;
        char line[256];
        auto add = [&](const char* format, auto... values) {
            std::snprintf(line, sizeof line, format, values...);
            text += line;
        };
        add("seed %u, %.0f s, %d steps, %d panel sessions (%d closed by the link), %d focus changes\n", m_seed,
            (NowMs() - m_runStartMs) / 1000, m_steps, m_sessions, m_selfClosed, m_focusChanges);
        add("operator dialogs answered %d, message boxes answered %zu\n", m_dialogsAnswered.load(),
            BoxTexts().size());
        add("exposures %d: notified %d", m_exposures, m_notified);
        for (int d = 1; d < 6; ++d)
            add(", %s %d", Name(static_cast<Disruption>(d)), m_explained[d]);
        add("\n");
        std::vector<double> latency = m_latencyMs;
        std::sort(latency.begin(), latency.end());
        if (!latency.empty())
            add("emission start to hostNotify(0): %zu shots, median %.0f ms, slowest %.0f ms, %zu over %.0f ms "
                "(median target: under one polling period, %.0f ms)\n",
                latency.size(), Median(latency), latency.back(),
                static_cast<size_t>(std::count_if(latency.begin(), latency.end(),
                                                  [](double t) { return t > kPollPeriodMs; })),
                kPollPeriodMs, kPollPeriodMs);
        add("StartDialog median %.0f ms, slowest %.0f ms; slowest control line %.0f ms\n", Median(m_startMs),
            m_startMs.empty() ? 0.0 : *std::max_element(m_startMs.begin(), m_startMs.end()), m_worstControlMs);
        add("host calls %d, slowest:", m_exportCalls);
        for (const auto& [name, worst] : m_worstExportMs)
            add(" %s %.0f ms", name.c_str(), worst);
        add("\nevent log %zu bytes (cap %zu + the newest entry), %d entries of this run\n", m_logBytes, kLogCap,
            m_logNewEntries);
        add("%zu failure(s)\n", m_failures.size());
        std::fputs(text.c_str(), stdout);
        if (!path.empty())
            std::ofstream(HostPath(path)) << text;
        if (!latency.empty() && Median(latency) >= kPollPeriodMs)
            Fail("the median emission-to-notification time is not under one polling period");
        if (m_exposures > 0 && m_notified == 0)
            Fail("no exposure reached the host");
    }

    static constexpr size_t kLogCap = 1024000;
    static constexpr size_t kGuardedRecordBytes = 293 + 64;

    const double m_seconds;
    std::mt19937 m_random;
    const unsigned m_seed;
    const double m_runStartMs = NowMs();
    BoxWatcher m_boxes;
    std::vector<std::string> m_boxTexts;
    std::unique_ptr<harness::Module> m_module;
    ControlFn m_control = nullptr;
    HWND m_panel = nullptr;
    std::atomic<HWND> m_panelShown{nullptr};
    std::atomic<int> m_dialogsAnswered{0};
    std::atomic<HWND> m_hostWindow{nullptr};
    std::thread m_hostThread;
    std::atomic<DWORD> m_hostThreadId{0};
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_notifyMs{0};

    std::mutex m_failureMutex;
    std::vector<std::string> m_failures;
    std::mutex m_exportMutex;
    std::map<std::string, double> m_worstExportMs;
    int m_exportCalls = 0;
    double m_worstControlMs = 0;
    std::vector<double> m_startMs;
    std::vector<double> m_latencyMs;
    int m_steps = 0, m_sessions = 0, m_selfClosed = 0, m_focusChanges = 0;
    int m_exposures = 0, m_notified = 0;
    int m_explained[6] = {};
    size_t m_logBytes = 0;
    int m_logNewEntries = 0;
};

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
    return Soak(seconds, seed).Run(argc > 3 ? argv[3] : "");
}
