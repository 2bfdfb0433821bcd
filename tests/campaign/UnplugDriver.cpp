// unplug_driver.exe: the module with the real Nxjbus.dll on COM1 to the emulator's serial front end,
// which run-unplug.sh kills and starts again (asked through files in SIGNAL_DIR) under the open panel
// in each of its states in turn (kStates). The panel and any dialog over it must end through the
// communication failure within the bound, its window answering all along, and the unit's stored blocks
// must be the same after the restart.
//   unplug_driver.exe CYCLES_PER_STATE CONTROL_PORT SIGNAL_DIR
#include "CampaignHarness.h"

#include "resources/CalibrationDialogIds.h"
#include "resources/ServiceDialogIds.h"
#include "tests/campaign/ControlSocket.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace {

// From the peer's disappearance to the panel gone and the host told: a few polls, each a request and
// its one retry on a silent line, and the error's box answered.
constexpr DWORD kFailureBoundMs = 10000;
// The longest the panel's window may leave a message unanswered while the link fails: one polling round
// on a silent line, five requests each with its retry (532 ms at most per call at 19200 baud), and a
// second for a loaded machine. A box is modal, never a hang.
constexpr double kUnansweredBoundMs = 3700;

// The panel's states an unplug meets, each reached through the service menu's command where it has one.
struct PanelState {
    const char* name;
    bool expose;
    UINT command;       // opens the state's dialog
    int press;          // the button pressed in it; a calibration's start opens the step's dialog
    const char* unit;   // a control line first: the unit's blocks made to differ from the restore file
    bool unplugOnWrite; // the unplug comes at the n-th bus write after the press (n = 1 to 4 in turn)
};
constexpr PanelState kStates[] = {
    {"idle polling", false, 0, 0, nullptr, false},
    {"during an exposure", true, 0, 0, nullptr, false},
    {"preferences open", false, 33604, 0, nullptr, false},
    {"during a calibration step", false, 33612, IDC_CAL_START, nullptr, false},
    {"during a restore", false, 33610, IDC_SR_RESTORE, "doseunit 1", true},
};
constexpr int kStateCount = static_cast<int>(std::size(kStates));

std::string g_signals;
std::string Signal(const char* name) { return g_signals + "\\" + name; }
bool Done(const char* done, DWORD timeoutMs) {
    return WaitFor([&] { return ::GetFileAttributesA(Signal(done).c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs);
}
// Asks the supervisor for `request` and waits for its `done` file.
bool Ask(const char* request, const char* done, DWORD timeoutMs) {
    ::DeleteFileA(Signal(done).c_str());
    std::ofstream(Signal(request)) << "1\n";
    return Done(done, timeoutMs);
}

// The module's bus writes, counted down to the one that goes out only once the unit is gone (0: none
// armed): the writes before it reached the unit, it and those after it meet a dead line.
using WriteWordsFn = int (*)(int, unsigned char, unsigned short, unsigned short, const unsigned short*);
using WriteWordFn = int (*)(int, unsigned char, unsigned short, unsigned short);
WriteWordsFn g_realWrite = nullptr;
WriteWordFn g_realWriteOne = nullptr;
std::atomic<int> g_writesToUnplug{0};
void CountWrite() {
    if (g_writesToUnplug > 0 && --g_writesToUnplug == 0)
        Ask("unplug", "unplugged", 10000);
}
int UnplugWrite(int handle, unsigned char slave, unsigned short address, unsigned short count,
                const unsigned short* words) {
    CountWrite();
    return g_realWrite(handle, slave, address, count, words);
}
int UnplugWriteOne(int handle, unsigned char slave, unsigned short address, unsigned short value) {
    CountWrite();
    return g_realWriteOne(handle, slave, address, value);
}

// A shown dialog over the panel other than `except`.
HWND ShownDialog(HWND panel, HWND except = nullptr) {
    for (HWND dialog : ShownDialogs())
        if (dialog != except && ::GetWindow(dialog, GW_OWNER) == panel)
            return dialog;
    return nullptr;
}

// What the host's notification function received this cycle, as " 0 1 3".
std::string Told() {
    std::string list;
    for (int32_t e : Notified())
        list += " " + std::to_string(e);
    return list;
}

std::string StoredBlocks(int port) {
    campaign::ControlSocket control(port);
    if (!control.Connected())
        return "";
    return control.Line("blocks stored cal") + "|" + control.Line("blocks stored factory") + "|" +
           control.Line("blocks stored prefs");
}

class Unplug {
public:
    explicit Unplug(int port) : m_port(port) {}

    int Run(int perState) {
        SetPortSettings();
        harness::ClearStartPgm();
        harness::DeleteLog();
        ::DeleteFileA(harness::CommonFile("restoreHalvexPan.dat").c_str()); // saved afresh from this run's unit
        if (!(m_module = LoadModuleCopy("Lumen70_Unplug.dll")))
            return 2;
        g_realWrite = reinterpret_cast<WriteWordsFn>(PatchImport(
            m_module->Handle(), "Nxjbus.dll", "JbusWriteSeveralWords", reinterpret_cast<void*>(&UnplugWrite)));
        g_realWriteOne = reinterpret_cast<WriteWordFn>(PatchImport(
            m_module->Handle(), "Nxjbus.dll", "JbusWriteOneWord", reinterpret_cast<void*>(&UnplugWriteOne)));
        if (!g_realWrite || !g_realWriteOne) {
            std::printf("the module does not import the bus library\n");
            return 2;
        }
        struct Figures {
            int failures = 0;
            double fastestEndMs = 1e9, slowestEndMs = 0, unansweredMs = 0;
        } figures[kStateCount];
        for (int i = 0; i < perState * kStateCount; ++i) {
            const PanelState& state = kStates[i % kStateCount];
            Figures& f = figures[i % kStateCount];
            double endMs = 0, unansweredMs = 0;
            const bool ok = Cycle(i, state, endMs, unansweredMs);
            f.failures += !ok;
            f.fastestEndMs = std::min(f.fastestEndMs, endMs);
            f.slowestEndMs = std::max(f.slowestEndMs, endMs);
            f.unansweredMs = std::max(f.unansweredMs, unansweredMs);
            std::printf("cycle %d (%s): %s, panel ended %.0f ms after the unplug, its window silent %.0f ms at "
                        "most\n",
                        i, state.name, ok ? "ok" : "FAILED", endMs, unansweredMs);
        }
        int failures = 0;
        for (int s = 0; s < kStateCount; ++s) {
            failures += figures[s].failures;
            std::printf("%s: %d cycles, %d failure(s); panel ended %.0f-%.0f ms after the unplug (bound %lu ms), "
                        "longest unanswered %.0f ms (bound %.0f ms)\n",
                        kStates[s].name, perState, figures[s].failures, figures[s].fastestEndMs,
                        figures[s].slowestEndMs, static_cast<unsigned long>(kFailureBoundMs),
                        figures[s].unansweredMs, kUnansweredBoundMs);
        }
        return failures == 0 ? 0 : 1;
    }

private:
    bool Fail(int i, const std::string& what) {
        std::printf("cycle %d: %s\n", i, what.c_str());
        return false;
    }

    // Closes a panel a failed step left open, so that the next cycle starts clean.
    bool Abandon(int i, HWND panel, const std::string& what) {
        ::PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        WaitFor(
            [&] {
                if (HWND dialog = ShownDialog(panel))
                    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                return !::IsWindow(panel);
            },
            10000);
        return Fail(i, what);
    }

    bool Cycle(int i, const PanelState& state, double& endMs, double& unansweredMs) {
        const bool exposing = state.expose;
        HWND panel = nullptr;
        if (const std::string failed = OpenPanel(*m_module, 1, panel); !failed.empty())
            return Fail(i, failed);
        ::SetForegroundWindow(panel); // a panel in the background does not poll
        const size_t polls = PollCount();
        if (!WaitFor([&] { return PollCount() >= polls + 3; }, 10000))
            return Abandon(i, panel, ::IsWindow(panel) ? "the panel does not poll" : "the panel closed at its start");
        if (state.unit)
            campaign::ControlSocket(m_port).Line(state.unit);
        if (exposing && !Expose(i))
            return Abandon(i, panel, "no exposure");
        const std::string before = StoredBlocks(m_port);
        HWND dialog = nullptr;
        if (state.command) {
            ::PostMessageA(panel, WM_COMMAND, state.command, 0);
            if (!WaitFor([&] { return (dialog = ShownDialog(panel)) != nullptr; }, 15000))
                return Abandon(i, panel, "the service menu's command opened no dialog");
        }
        if (state.press) {
            ::DeleteFileA(Signal("unplugged").c_str()); // the last cycle's
            g_writesToUnplug = state.unplugOnWrite ? 1 + i / kStateCount % 4 : 0;
            ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(state.press, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, state.press)));
            if (!state.unplugOnWrite && !WaitFor([&] { return ShownDialog(panel, dialog) != nullptr; }, 15000))
                return Abandon(i, panel, "the calibration's step did not open");
        }

        // Which of the two happened tells a panel that closed itself from a stray notification.
        if (!::IsWindow(panel))
            return Fail(i, "the panel closed before the unplug; the host was told" + Told());
        if (Notified().size() > (exposing ? 1u : 0u))
            return Abandon(i, panel, "the host was told" + Told() + " before the unplug, the panel still open");
        HANDLE thread = PanelThread(panel);
        const bool unplugged = state.unplugOnWrite ? Done("unplugged", 15000) : Ask("unplug", "unplugged", 10000);
        g_writesToUnplug = 0;
        if (!unplugged)
            return Fail(i, "the emulator was not stopped");
        const double start = NowMs();
        bool ok = true;
        while (::IsWindow(panel) && NowMs() - start < kFailureBoundMs) {
            DWORD_PTR result = 0;
            const double sent = NowMs();
            const bool answered = ::SendMessageTimeoutA(panel, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
            if (answered || !::IsWindow(panel))
                unansweredMs = std::max(unansweredMs, NowMs() - sent);
            else
                unansweredMs = std::max(unansweredMs, 5000.0);
            ::Sleep(20);
        }
        if (unansweredMs > kUnansweredBoundMs)
            ok = Fail(i, "the panel's window left a message unanswered " + std::to_string(unansweredMs) + " ms");
        const bool told = WaitFor([] { return Notified().size() >= 2; }, 2000);
        endMs = NowMs() - start;
        if (::IsWindow(panel))
            ok = Fail(i, "the panel stayed open");
        std::vector<int32_t> events = Notified();
        if (exposing && !events.empty() && events.front() == 0)
            events.erase(events.begin()); // the exposure's start
        if (!told || events != std::vector<int32_t>{1, 3}) {
            ok = Fail(i, "the host was told" + Told() + ", not 1 then 3");
        }
        if (!ThreadEnded(thread))
            ok = Fail(i, "the panel's thread did not end");
        if (!Ask("replug", "replugged", 20000))
            return Fail(i, "the emulator did not come back");
        // A restore cut short never reaches its last command, the one that has the unit store the blocks.
        const std::string after = StoredBlocks(m_port);
        if (before.empty() || after != before)
            ok = Fail(i, "the stored blocks changed across the unplug: " + before + " -> " + after);
        return ok;
    }

    bool Expose(int i) {
        campaign::ControlSocket control(m_port);
        if (!WaitFor([&] { return Field(control.Line("status"), "ready") == "1"; }, 15000))
            return Fail(i, "the unit never became ready: " + control.Line("status"));
        control.Line("expose");
        if (!WaitFor([&] { return Field(control.Line("status"), "emission") == "1"; }, 15000))
            return Fail(i, "no emission: " + control.Line("status"));
        return true;
    }

    BoxWatcher m_boxes;
    std::unique_ptr<harness::Module> m_module;
    int m_port;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::atoi(argv[1]) <= 0) {
        std::printf("usage: unplug_driver CYCLES_PER_STATE CONTROL_PORT SIGNAL_DIR\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    g_signals = argv[3];
    Unplug unplug(std::atoi(argv[2]));
    return unplug.Run(std::atoi(argv[1]));
}
