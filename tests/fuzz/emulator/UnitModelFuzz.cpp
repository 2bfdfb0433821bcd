// The emulator's request handling under arbitrary requests: reads and writes of any address, count and
// values, command words, clock steps, switch presses and injected faults, in any order. Buffers are
// exactly as large as the request's count, so the model can never write or read past one.
#include "emulator/UnitModel.h"

#include "tests/fuzz/FuzzCheck.h"

#include <vector>

namespace {

constexpr int kMaxSteps = 200;

// A count as a master might send it: mostly plausible, sometimes anything a frame can carry.
uint16_t Count(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<uint16_t>(0, 130) : in.ConsumeIntegral<uint16_t>();
}

// The addresses the module uses, or anywhere at all.
uint16_t Address(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return static_cast<uint16_t>(emu::kRegisterBaseWord + in.ConsumeIntegralInRange<int>(0, 200));
    case 1:
        return static_cast<uint16_t>(emu::kIdentificationAreaWord + in.ConsumeIntegralInRange<int>(0, 40));
    default:
        return in.ConsumeIntegral<uint16_t>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    emu::ManualClock clock;
    emu::UnitModel model(clock, fuzz::UnitVersion(in));
    for (int step = 0; step < kMaxSteps && in.remaining_bytes() > 0; ++step) {
        const int action = in.ConsumeIntegralInRange<int>(0, 7);
        switch (action) {
        case 0:
        case 1: {
            const bool write = action == 1;
            const uint16_t address = Address(in);
            const uint16_t count = Count(in);
            std::vector<uint16_t> words(count);
            for (auto& v : words)
                v = write ? in.ConsumeIntegral<uint16_t>() : 0;
            const int result = write ? model.WriteRegisters(address, count, words.data())
                                     : model.ReadRegisters(address, count, words.data());
            fuzz::Check(result >= 0 && result <= 11);
            if (count == 0 || count > (write ? emu::kMaxWriteWords : emu::kMaxReadWords))
                fuzz::Check(result != 0);
            break;
        }
        case 2:
            (void)model.ExecuteCommand(in.ConsumeIntegral<uint16_t>());
            break;
        case 3:
            clock.Skip(in.ConsumeIntegralInRange<uint64_t>(0, 120000));
            (void)model.StateWord();
            break;
        case 4:
            if (in.ConsumeBool())
                (void)model.PressSwitch();
            else
                model.ReleaseSwitch();
            break;
        case 5: {
            const auto kind = static_cast<emu::FaultKind>(in.ConsumeIntegralInRange<int>(0, 4));
            model.InjectFault(
                {kind, in.ConsumeIntegralInRange<int>(1, 11), in.ConsumeIntegralInRange<uint32_t>(0, 50)},
                in.ConsumeIntegralInRange<uint32_t>(0, 5));
            break;
        }
        case 6:
            (void)model.BeginRequest({in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint16_t>(),
                                      in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint16_t>()});
            model.CountFrame(in.ConsumeBool());
            break;
        default:
            model.SetError(in.ConsumeIntegral<uint16_t>());
            break;
        }
    }
    (void)model.Status();
    return 0;
}
