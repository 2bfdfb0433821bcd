// The emulated unit's clock: stepped by tests, or real time scaled by a speed factor in the front ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace emu {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t NowMs() = 0;
    // Jumps ahead (a waiting time or an exposure need not be sat through).
    virtual void Skip(uint64_t ms) = 0;
    // Runs faster (or slower) than real time from now on; false when the clock cannot.
    virtual bool SetSpeed(double) { return false; }
};

class ManualClock final : public Clock {
public:
    uint64_t NowMs() override { return m_nowMs; }
    void Skip(uint64_t ms) override { m_nowMs += ms; }

private:
    uint64_t m_nowMs = 0;
};

// Real time times a speed factor; changing the speed never makes the model's time jump back.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(double speed = 1.0) : m_speed(speed > 0 ? speed : 1.0) { m_origin = Steady::now(); }

    uint64_t NowMs() override {
        std::lock_guard lock(m_mutex);
        return NowLocked();
    }
    void Skip(uint64_t ms) override {
        std::lock_guard lock(m_mutex);
        m_baseMs += ms;
    }
    bool SetSpeed(double speed) override {
        if (!(speed > 0.0) || speed > 10000.0)
            return false;
        std::lock_guard lock(m_mutex);
        m_baseMs = NowLocked();
        m_origin = Steady::now();
        m_speed = speed;
        return true;
    }

private:
    using Steady = std::chrono::steady_clock;
    uint64_t NowLocked() const {
        const double realMs = std::chrono::duration<double, std::milli>(Steady::now() - m_origin).count();
        return m_baseMs + static_cast<uint64_t>(realMs * m_speed);
    }
    std::mutex m_mutex;
    Steady::time_point m_origin;
    uint64_t m_baseMs = 0;
    double m_speed;
};

} // namespace emu
