// Faults: the unit's own errors, and the link faults a scenario arms for the next requests.
#include "emulator/UnitInternals.h"

#include <algorithm>

namespace emu {

using namespace unit;

namespace {

const char* FaultName(FaultKind kind) {
    static const char* const kNames[] = {"-", "noanswer", "badcrc", "exception", "slow"};
    return kNames[static_cast<int>(kind)];
}

bool Hits(const FaultTarget& target, const Request& r) {
    switch (target.kind) {
    case FaultTarget::Kind::Any:
        return true;
    case FaultTarget::Kind::Command:
        return (r.function == 6 || r.function == 16) && r.address == kCommandWord && r.count == 1 &&
               r.firstValue == target.value;
    case FaultTarget::Kind::Address:
        return r.count > 0 && target.value >= r.address && target.value - r.address < r.count;
    case FaultTarget::Kind::Function:
        return r.function == target.value;
    }
    return false;
}

} // namespace

void UnitModel::SetError(uint16_t code) {
    Update();
    m_error = code;
    if (code != 0 && IsCycleBusy()) {
        if (m_cycle == kCycleEmitting)
            RecordShot(m_cycleValues, m_nowMs - m_emissionStartMs);
        AbortCycle(kCycleAbortError);
    }
}

// ---------------------------------------------------------------------------------------------------
// Link faults

LinkFault UnitModel::BeginRequest(const Request& request) {
    LinkFault fault;
    auto take = [&](LinkFault& armed, uint32_t& requests) {
        fault = armed;
        if (--requests == 0)
            armed = {};
    };
    auto targeted = std::find_if(m_targetedFaults.begin(), m_targetedFaults.end(),
                                 [&](const ArmedFault& f) { return Hits(f.target, request); });
    if (targeted != m_targetedFaults.end()) {
        take(targeted->fault, targeted->requests);
        if (targeted->requests == 0)
            m_targetedFaults.erase(targeted);
    } else if (m_faultRequests > 0) {
        take(m_fault, m_faultRequests);
    }
    m_requestHistory.Push({m_clock.NowMs() - m_startMs, request.function, request.address, request.count,
                           FaultName(fault.kind)});
    return fault;
}

void UnitModel::InjectFault(LinkFault fault, uint32_t requests, FaultTarget target) {
    if (fault.kind == FaultKind::None || requests == 0) {
        m_fault = {};
        m_faultRequests = 0;
        m_targetedFaults.clear();
        return;
    }
    if (target.kind == FaultTarget::Kind::Any) {
        m_fault = fault;
        m_faultRequests = requests;
        return;
    }
    // One armed fault per target: arming it again replaces it.
    auto same = std::find_if(m_targetedFaults.begin(), m_targetedFaults.end(), [&](const ArmedFault& f) {
        return f.target.kind == target.kind && f.target.value == target.value;
    });
    if (same != m_targetedFaults.end())
        *same = {fault, requests, target};
    else
        m_targetedFaults.push_back({fault, requests, target});
}

void UnitModel::CountFrame(bool good) {
    // The unit's counters wrap like its 16-bit registers.
    if (good)
        ++m_framesGood;
    else
        ++m_framesBad;
}

} // namespace emu
