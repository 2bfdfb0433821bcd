// Line faults between the bus master and the unit: what the fault relay decides for each answer, how it
// groups requests into calls (a call is one request and, after a damaged answer, its one retry), the
// result each call must end with, and the reconciliation of the relay's ledger with the driver's.
// Portable, so the relay (Linux) and its tests share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace campaign::line {

enum class Fault { None, BadCrc, Dropped, CutShort, Late };
inline constexpr int kFaultKinds = 5;

const char* FaultName(Fault fault) noexcept;
bool ParseFault(const std::string& text, Fault& out) noexcept;

// Rates in hundredths of a percent of answers.
struct FaultRates {
    uint32_t badCrc = 100, dropped = 100, cutShort = 50, late = 50;
};

// Seeded, and the same sequence on every platform (no library distribution in between).
class FaultDraw {
public:
    FaultDraw(uint64_t seed, FaultRates rates = {}) noexcept : m_state(seed), m_rates(rates) {}
    Fault Next() noexcept;
    // How many bytes of an answer of `size` bytes go out when it is cut short: at least one, never all.
    size_t CutLength(size_t size) noexcept;

private:
    uint64_t Step() noexcept;
    uint64_t m_state;
    FaultRates m_rates;
};

// Length of the frame starting at `bytes` once enough of it is known, 0 while it is not. Unknown
// functions give SIZE_MAX: the relay passes such bytes on as they are.
size_t RequestLength(const uint8_t* bytes, size_t have) noexcept;
size_t AnswerLength(const uint8_t* bytes, size_t have) noexcept;

struct RelayCall {
    int attempts = 0;
    Fault faults[2] = {Fault::None, Fault::None};
    bool answered[2] = {false, false}; // an answer came from the unit for that attempt
    // The answer reached the line after the master's wait for it had run out, though the relay did not
    // hold it back: the machine itself was too slow (the unit, a pseudo-terminal, the host's scheduler).
    bool slow[2] = {false, false};
    bool crossed = false; // a late answer of an earlier call reached the line during this one
};

// The relay's ledger. The driver never sends the same frame twice in a row, so a request identical to
// the one before it is that call's retry; answers belong to the requests in the order they came, since
// the unit answers each request it decodes, one after the other.
class CallLedger {
public:
    struct Attempt {
        size_t call = 0;
        int attempt = 0; // 0 or 1
    };
    // Returns the call and attempt the request belongs to.
    Attempt OnRequest(const uint8_t* frame, size_t size);
    // The unit answered; `fault` is what the relay does to the answer. Returns the attempt it answers,
    // or false for an answer nobody asked for.
    bool OnAnswer(Fault fault, Attempt& owner);
    // An answer went out on the line; `slow` when past the master's wait without being held back.
    void OnReleased(const Attempt& owner, bool slow);
    // The relay itself was not run for a while: whatever was in flight may have missed the master's wait
    // without the relay seeing it. `inFlight` adds the answers it still holds.
    void OnStall(const std::vector<Attempt>& inFlight);
    const std::vector<RelayCall>& Calls() const noexcept { return m_calls; }
    // Requests repeated more than once: a master that retried twice.
    size_t ExtraAttempts() const noexcept { return m_extraAttempts; }

private:
    std::vector<RelayCall> m_calls;
    std::vector<uint8_t> m_last;
    std::vector<Attempt> m_pending; // requests not answered yet, oldest first
    size_t m_extraAttempts = 0;
};

// What the driver saw for one call.
struct DriverCall {
    int result = 0;
    int valueOk = -1; // 1 right, 0 wrong, -1 nothing to check (a write, or a failed read)
    uint64_t elapsedUs = 0, boundUs = 0;
};

// The results a call may end with, given the relay's ledger for it (bit i set: result i allowed).
uint32_t AllowedResults(const RelayCall& call) noexcept;

struct Reconciliation {
    size_t calls = 0;
    size_t injected[kFaultKinds] = {};
    // For each injected fault kind: the calls it hit that still succeeded (absorbed by the retry) and
    // those that ended with 12 or 13 (the second attempt damaged as well).
    size_t absorbed[kFaultKinds] = {}, ended12[kFaultKinds] = {}, ended13[kFaultKinds] = {};
    size_t clean = 0, crossed = 0, slow = 0, unforcedRetries = 0, wrongValues = 0, overBound = 0, overAllowance = 0,
           checkedValues = 0;
    uint64_t longestUs = 0;
    double worstBoundRatio = 0;
    std::vector<std::string> problems; // one line each: a count that does not match, a call whose result does not fit
    bool Passed() const noexcept { return problems.empty(); }
    std::string Summary() const;
};

// A call over its bound fails the run only beyond this: the bound is the master's own waiting, and on a
// machine shared with other builds a Wine thread may wait that long more for a processor.
inline constexpr uint64_t kSchedulingAllowanceUs = 200000;

Reconciliation Reconcile(const std::vector<RelayCall>& relay, const std::vector<DriverCall>& driver);

// CSV forms, one call a line after a header line.
std::string RelayCsv(const std::vector<RelayCall>& calls);
bool ParseRelayCsv(const std::string& text, std::vector<RelayCall>& out);
bool ParseDriverCsv(const std::string& text, std::vector<DriverCall>& out);

} // namespace campaign::line
