// The emulator's scenario-control lines under arbitrary text: any sequence of lines, well formed or
// not, against a model on a stepped clock; the model must stay usable (status, a full register scan).
#include "emulator/ControlLine.h"
#include "emulator/UnitModel.h"

#include "tests/fuzz/FuzzCheck.h"

#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    emu::ManualClock clock;
    emu::UnitModel model(clock, fuzz::UnitVersion(in));
    for (int i = 0; i < 64 && in.remaining_bytes() > 0; ++i) {
        // Each line in a buffer of its own exact size, so a read past its end is caught.
        const std::string text = in.ConsumeRandomLengthString(200);
        const std::unique_ptr<char[]> line(new char[text.size()]);
        std::copy(text.begin(), text.end(), line.get());
        const emu::ControlResult result =
            emu::ExecuteControlLine(model, std::string_view(line.get(), text.size()));
        fuzz::Check(result.ok || !result.reply.empty());
    }
    fuzz::Check(!model.Status().empty());
    std::vector<uint16_t> words(emu::kMaxReadWords);
    for (uint32_t address = 0; address <= 0xFFFF; address += emu::kMaxReadWords)
        (void)model.ReadRegisters(static_cast<uint16_t>(address), emu::kMaxReadWords, words.data());
    return 0;
}
