// unplug_driver.exe: the module, with the real Nxjbus.dll beside it, on COM1 to the emulator's serial
// front end; the emulator is killed and started again under the open panel, while the panel polls the
// idle unit and during an exposure, alternately. Each time: the panel ends through the communication
// failure (closed, host told 1 then 3) within the bound, its window answering all along; the next
// OpenCommPort and StartDialog work; the unit's stored blocks are the same after the restart.
// The emulator is killed and started by run-unplug.sh, asked through files in SIGNAL_DIR.
//   unplug_driver.exe CYCLES CONTROL_PORT SIGNAL_DIR
#include "CampaignHarness.h"

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

std::string Signal(const std::string& dir, const char* name) { return dir + "\\" + name; }

// Asks the supervisor for `request` and waits for its `done` file.
bool Ask(const std::string& dir, const char* request, const char* done, DWORD timeoutMs) {
    ::DeleteFileA(Signal(dir, done).c_str());
    std::ofstream(Signal(dir, request)) << "1\n";
    return WaitFor([&] { return ::GetFileAttributesA(Signal(dir, done).c_str()) != INVALID_FILE_ATTRIBUTES; },
                   timeoutMs);
}

std::string StoredBlocks(int port) {
    campaign::ControlSocket control(port);
    if (!control.Connected())
        return "";
    return control.Line("blocks stored cal") + "|" + control.Line("blocks stored factory") + "|" +
           control.Line("blocks stored prefs");
}

std::string Field(const std::string& status, const std::string& key) {
    const size_t at = status.find(" " + key + "=");
    if (at == std::string::npos)
        return "?";
    const size_t from = at + key.size() + 2;
    return status.substr(from, status.find(' ', from) - from);
}

class Unplug {
public:
    Unplug(int port, std::string dir) : m_port(port), m_dir(std::move(dir)) {}

    int Run(int cycles) {
        SetPortSettings();
        harness::ClearStartPgm();
        harness::DeleteLog();
        const std::string copy = EmulatorFolder() + "Lumen70_Unplug.dll";
        if (!::CopyFileA((EmulatorFolder() + "Lumen70_Demo.dll").c_str(), copy.c_str(), FALSE) ||
            !(m_module = std::make_unique<harness::Module>(copy))->Handle()) {
            std::printf("cannot load the module from %s\n", EmulatorFolder().c_str());
            return 2;
        }
        g_realRead = reinterpret_cast<ReadWordsFn>(PatchImport(m_module->Handle(), "Nxjbus.dll", "JbusReadSeveralWords",
                                                               reinterpret_cast<void*>(&CountingRead)));
        if (!g_realRead) {
            std::printf("the module does not import the bus library\n");
            return 2;
        }
        double worstEndMs = 0, worstUnansweredMs = 0;
        for (int i = 0; i < cycles; ++i) {
            const bool exposing = i % 2 == 1;
            double endMs = 0, unansweredMs = 0;
            const bool ok = Cycle(i, exposing, endMs, unansweredMs);
            worstEndMs = std::max(worstEndMs, endMs);
            worstUnansweredMs = std::max(worstUnansweredMs, unansweredMs);
            std::printf("cycle %d (%s): %s, panel ended %.0f ms after the unplug, its window silent %.0f ms at most\n",
                        i, exposing ? "during an exposure" : "idle polling", ok ? "ok" : "FAILED", endMs, unansweredMs);
            if (!ok)
                ++m_failures;
        }
        std::printf("%d unplug cycles, %d failure(s); slowest end of the panel %.0f ms (bound %lu ms), longest "
                    "unanswered %.0f ms (bound %.0f ms)\n",
                    cycles, m_failures, worstEndMs, static_cast<unsigned long>(kFailureBoundMs), worstUnansweredMs,
                    kUnansweredBoundMs);
        return m_failures == 0 ? 0 : 1;
    }

private:
    bool Fail(int i, const std::string& what) {
        std::printf("cycle %d: %s\n", i, what.c_str());
        return false;
    }

    // Closes a panel a failed step left open, so that the next cycle starts clean.
    bool Abandon(int i, HWND panel, const std::string& what) {
        ::SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        WaitFor([&] { return !::IsWindow(panel); }, 5000);
        return Fail(i, what);
    }

    bool Cycle(int i, bool exposing, double& endMs, double& unansweredMs) {
        ForgetNotifications();
        if (const int opened = m_module->Get<harness::OpenCommPortFn>("OpenCommPort")(); opened != 15)
            return Fail(i, "OpenCommPort gave " + std::to_string(opened));
        uint32_t slot = 0;
        const int started = m_module->Get<harness::StartDialogFn>("StartDialog")(0, &slot, &RecordNotify, 1, nullptr);
        HWND panel = reinterpret_cast<HWND>(static_cast<uintptr_t>(slot));
        if (started != 15 || !::IsWindow(panel))
            return Fail(i, "StartDialog gave " + std::to_string(started));
        ::SetForegroundWindow(panel); // a panel in the background does not poll
        const size_t polls = PollCount();
        if (!WaitFor([&] { return PollCount() >= polls + 3; }, 10000))
            return Abandon(i, panel, "the panel does not poll");
        if (exposing && !Expose(i))
            return Abandon(i, panel, "no exposure");
        const std::string before = StoredBlocks(m_port);

        if (!::IsWindow(panel) || Notified().size() > (exposing ? 1u : 0u))
            return Fail(i, "the panel ended before the unplug");
        HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(panel, nullptr));
        if (!Ask(m_dir, "unplug", "unplugged", 10000))
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
            std::string list;
            for (int32_t e : Notified())
                list += " " + std::to_string(e);
            ok = Fail(i, "the host was told" + list + ", not 1 then 3");
        }
        if (thread) {
            if (::WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0)
                ok = Fail(i, "the panel's thread did not end");
            ::CloseHandle(thread);
        }
        if (!Ask(m_dir, "replug", "replugged", 20000))
            return Fail(i, "the emulator did not come back");
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
    std::string m_dir;
    int m_failures = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::atoi(argv[1]) <= 0) {
        std::printf("usage: unplug_driver CYCLES CONTROL_PORT SIGNAL_DIR\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Unplug unplug(std::atoi(argv[2]), argv[3]);
    return unplug.Run(std::atoi(argv[1]));
}
