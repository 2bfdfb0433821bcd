// line_fault_relay: sits on the line between the bus master and the unit (two pseudo-terminals) and
// damages the unit's answers at seeded rates: corrupted CRC, dropped, cut short, or held back past the
// master's wait. Requests pass untouched. Bytes keep their order on the line, so an answer held back
// also holds back the answers behind it, as on a real wire. On SIGTERM it writes its ledger (one line
// per call) and the counts of what it injected.
//   line_fault_relay relay --host PATH --unit PATH --seed N --baud N --out CSV [--scale N]
//   (--scale multiplies every rate, so that two damaged attempts in one call happen in a short run)
//   line_fault_relay reconcile RELAY_CSV DRIVER_CSV
#include "nxjbus/JbusFrame.h"
#include "tests/campaign/LineFaults.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace campaign::line;

volatile std::sig_atomic_t g_stop = 0;
void OnStop(int) { g_stop = 1; }

uint64_t NowUs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

struct Outgoing {
    std::vector<uint8_t> bytes;
    uint64_t dueUs = 0;
    uint64_t masterGivesUpUs = 0; // the end of the master's wait for this answer's first byte
    bool held = false;
    CallLedger::Attempt owner;
};

struct Relay {
    int host = -1, unit = -1;
    FaultDraw draw{1};
    CallLedger ledger;
    nxjbus::LineTiming timing;
    std::vector<uint8_t> fromHost, fromUnit;
    std::deque<Outgoing> queue;
    std::vector<std::pair<uint64_t, size_t>> requests[2]; // per attempt and call: arrival, size
    size_t injected[kFaultKinds] = {};

    // The length of the whole frame at the start of `bytes`, 0 while it is not all there. Bytes that are
    // no frame this line carries are passed on as they are.
    static size_t Whole(const std::vector<uint8_t>& bytes, size_t (*lengthOf)(const uint8_t*, size_t)) {
        const size_t length = lengthOf(bytes.data(), bytes.size());
        return length == SIZE_MAX ? bytes.size() : bytes.size() < length ? 0 : length;
    }

    void TakeRequests() {
        while (const size_t length = Whole(fromHost, RequestLength)) {
            const CallLedger::Attempt at = ledger.OnRequest(fromHost.data(), length);
            requests[at.attempt].resize(at.call + 1);
            requests[at.attempt][at.call] = {NowUs(), length};
            WriteAll(unit, fromHost.data(), length);
            fromHost.erase(fromHost.begin(), fromHost.begin() + static_cast<long>(length));
        }
    }

    void TakeAnswers() {
        while (const size_t length = Whole(fromUnit, AnswerLength)) {
            std::vector<uint8_t> answer(fromUnit.begin(), fromUnit.begin() + static_cast<long>(length));
            fromUnit.erase(fromUnit.begin(), fromUnit.begin() + static_cast<long>(length));
            const Fault fault = draw.Next();
            Outgoing out{std::move(answer), NowUs(), 0, fault == Fault::Late, {}};
            if (!ledger.OnAnswer(fault, out.owner))
                continue; // nobody asked: nothing to pass on
            ++injected[static_cast<int>(fault)];
            const auto [requestUs, requestSize] = requests[out.owner.attempt][out.owner.call];
            // Counted from the request's arrival here, a little after the master wrote it: a margin for that.
            out.masterGivesUpUs = requestUs + 1000ull * timing.ResponseTimeoutMs(requestSize, out.bytes.size()) - 10000;
            switch (fault) {
            case Fault::None:
                break;
            case Fault::BadCrc:
                out.bytes[out.bytes.size() - 1] ^= 0xA5;
                break;
            case Fault::Dropped:
                continue;
            case Fault::CutShort:
                out.bytes.resize(draw.CutLength(out.bytes.size()));
                break;
            case Fault::Late:
                // Past the master's wait for the first byte, counted from the request, and within the
                // retry's own wait.
                out.dueUs = std::max(out.dueUs, out.masterGivesUpUs + 70000);
                break;
            }
            queue.push_back(std::move(out));
        }
    }

    void Release() {
        const uint64_t now = NowUs();
        while (!queue.empty() && queue.front().dueUs <= now) {
            ledger.OnReleased(queue.front().owner, !queue.front().held && now > queue.front().masterGivesUpUs);
            WriteAll(host, queue.front().bytes.data(), queue.front().bytes.size());
            queue.pop_front();
        }
    }

    size_t stalls = 0;

    // The relay wakes at least every 10 ms; a longer gap means the machine did not run it.
    void NoteStall(uint64_t sinceUs) {
        if (NowUs() - sinceUs < kStallUs)
            return;
        ++stalls;
        std::vector<CallLedger::Attempt> held;
        for (const Outgoing& o : queue)
            held.push_back(o.owner);
        ledger.OnStall(held);
    }
    static constexpr uint64_t kStallUs = 50000;

    int Run() {
        uint8_t buffer[512];
        while (!g_stop) {
            const uint64_t awake = NowUs();
            int waitMs = 10;
            if (!queue.empty()) {
                const uint64_t now = NowUs();
                waitMs = queue.front().dueUs <= now ? 0 : std::min(10, static_cast<int>((queue.front().dueUs - now + 999) / 1000));
            }
            pollfd fds[2] = {{host, POLLIN, 0}, {unit, POLLIN, 0}};
            const int ready = ::poll(fds, 2, waitMs);
            if (ready < 0 && errno != EINTR)
                return 1;
            NoteStall(awake);
            if (ready > 0) {
                auto take = [&](const pollfd& fd, std::vector<uint8_t>& into) {
                    const ssize_t n = (fd.revents & POLLIN) ? ::read(fd.fd, buffer, sizeof buffer) : 0;
                    if (n > 0)
                        into.insert(into.end(), buffer, buffer + n);
                    return (fd.revents & POLLIN) != 0;
                };
                if (take(fds[0], fromHost))
                    TakeRequests();
                if (take(fds[1], fromUnit))
                    TakeAnswers();
                // A pty whose other end is not open yet reports a hang-up: wait instead of spinning.
                if ((fds[0].revents | fds[1].revents) & (POLLHUP | POLLERR))
                    ::usleep(5000);
            }
            Release();
        }
        return 0;
    }
};

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int Reconcile(const char* relayPath, const char* driverPath) {
    std::vector<RelayCall> relay;
    std::vector<DriverCall> driver;
    if (!ParseRelayCsv(ReadFile(relayPath), relay) || !ParseDriverCsv(ReadFile(driverPath), driver)) {
        std::fprintf(stderr, "line_fault_relay: cannot read %s or %s\n", relayPath, driverPath);
        return 2;
    }
    const Reconciliation r = Reconcile(relay, driver);
    std::fputs(r.Summary().c_str(), stdout);
    if (r.calls == 0) {
        std::puts("PROBLEM: no calls");
        return 1;
    }
    return r.Passed() ? 0 : 1;
}

int OpenLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        std::fprintf(stderr, "line_fault_relay: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "reconcile") == 0)
        return Reconcile(argv[2], argv[3]);
    if (argc < 2 || std::strcmp(argv[1], "relay") != 0 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: line_fault_relay relay --host PATH --unit PATH --seed N --baud N --out CSV [--scale N]\n"
                             "       line_fault_relay reconcile RELAY_CSV DRIVER_CSV\n");
        return 2;
    }
    std::map<std::string, std::string> options = {{"--host", ""}, {"--unit", ""}, {"--out", ""},
                                                   {"--seed", "1"}, {"--baud", "19200"}, {"--scale", "1"}};
    for (int i = 2; i + 1 < argc; i += 2) {
        if (!options.count(argv[i])) {
            std::fprintf(stderr, "line_fault_relay: unknown option %s\n", argv[i]);
            return 2;
        }
        options[argv[i]] = argv[i + 1];
    }
    const std::string hostPath = options["--host"], unitPath = options["--unit"], outPath = options["--out"];
    const uint64_t seed = std::strtoull(options["--seed"].c_str(), nullptr, 10);
    const auto baud = static_cast<uint32_t>(std::strtoul(options["--baud"].c_str(), nullptr, 10));
    const auto scale = static_cast<uint32_t>(std::strtoul(options["--scale"].c_str(), nullptr, 10));
    if (scale < 1 || scale > 30) {
        std::fprintf(stderr, "line_fault_relay: --scale takes 1 to 30\n");
        return 2;
    }
    Relay relay;
    const FaultRates rates;
    relay.draw = FaultDraw(seed, {rates.badCrc * scale, rates.dropped * scale, rates.cutShort * scale, rates.late * scale});
    relay.timing = nxjbus::TimingForBaud(baud);
    relay.host = OpenLine(hostPath);
    relay.unit = OpenLine(unitPath);
    if (relay.host < 0 || relay.unit < 0 || outPath.empty())
        return 2;
    struct sigaction action {};
    action.sa_handler = OnStop;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::printf("line_fault_relay: ready, seed %llu, %u baud, rates x%u\n", static_cast<unsigned long long>(seed), baud,
                scale);
    std::fflush(stdout);

    const int status = relay.Run();
    std::ofstream(outPath) << RelayCsv(relay.ledger.Calls());
    std::printf("line_fault_relay: %zu calls, %zu answers, %zu requests repeated twice, %zu stalls of the relay "
                "(%llu ms or more); injected badcrc %zu, dropped %zu, cut %zu, late %zu\n",
                relay.ledger.Calls().size(),
                relay.injected[0] + relay.injected[1] + relay.injected[2] + relay.injected[3] + relay.injected[4],
                relay.ledger.ExtraAttempts(), relay.stalls, static_cast<unsigned long long>(Relay::kStallUs / 1000),
                relay.injected[1], relay.injected[2], relay.injected[3], relay.injected[4]);
    return status;
}
