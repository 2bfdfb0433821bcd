// line_fault_driver.exe: N requests through the real Nxjbus.dll on a COM port whose line runs through
// the fault relay to the emulator's serial front end. Reads of the factory and calibration blocks are
// checked against the words the emulator reports on its control port; writes of the host text are read
// back. No two consecutive requests are the same frame, so the relay can tell a retry from a new call,
// and no two consecutive ones expect an answer of the same shape, so an answer that comes too late for
// its own call cannot pass for the next one's.
//   line_fault_driver.exe N COMn BAUD CONTROL_PORT CSV
#include <winsock2.h>
#include <windows.h>

#include "emulator/History.h"
#include "tests/campaign/ControlSocket.h"
#include "nxjbus/JbusFrame.h"
#include "nxjbus/Nxjbus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned char kSlave = 1;
constexpr uint16_t kFactoryWord = 0x7000 + 130 / 2, kFactoryWords = 16;
constexpr uint16_t kCalibrationWord = 0x7000 + 162 / 2, kCalibrationWords = 40;
constexpr uint16_t kHostTextWord = 0x6817; // units of protocol 2

std::vector<uint16_t> HexWords(const std::string& text) {
    std::vector<uint16_t> words;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        words.push_back(static_cast<uint16_t>(std::strtoul(word.c_str(), nullptr, 16)));
    return words;
}

struct Call {
    const char* name;
    int result;
    int valueOk;
    uint64_t elapsedUs, boundUs;
};

// The calls, in turn.
struct Operation {
    const char* name;
    uint16_t address, count;
    bool write;
};
constexpr Operation kCycle[] = {{"read factory", kFactoryWord, kFactoryWords, false},
                                {"write host word", kHostTextWord, 1, true},
                                {"read host word", kHostTextWord, 1, false},
                                {"read calibration", kCalibrationWord, kCalibrationWords, false},
                                {"write host words", kHostTextWord + 1, 2, true},
                                {"read host words", kHostTextWord + 1, 2, false}};

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: line_fault_driver N COMn BAUD CONTROL_PORT CSV\n");
        return 2;
    }
    const long total = std::atol(argv[1]);
    const uint32_t baud = static_cast<uint32_t>(std::atol(argv[3]));
    campaign::ControlSocket control(std::atoi(argv[4]));
    if (!control.Connected()) {
        std::fprintf(stderr, "line_fault_driver: no control connection\n");
        return 2;
    }
    const std::vector<uint16_t> factory = HexWords(control.Line("blocks live factory"));
    const std::vector<uint16_t> calibration = HexWords(control.Line("blocks live cal"));
    if (factory.size() != kFactoryWords || calibration.size() != kCalibrationWords) {
        std::fprintf(stderr, "line_fault_driver: the emulator's blocks are not what was expected\n");
        return 2;
    }
    int handle = JbusOpen(argv[2], argv[3]);
    if (handle < 0) {
        std::fprintf(stderr, "line_fault_driver: cannot open %s (system error %lu)\n", argv[2],
                     JbusLastSystemError(-1));
        return 2;
    }

    const nxjbus::LineTiming timing = nxjbus::TimingForBaud(baud);
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    // What the host text holds: the unit executes a write whose answer is lost, so after a failed write
    // the truth is what the unit's history says it received.
    uint16_t hostText[3] = {};
    bool known[3] = {}; // each word is known once a write of it was taken
    control.Line("history clear");

    std::vector<Call> calls;
    calls.reserve(static_cast<size_t>(total));
    for (long i = 0; i < total; ++i) {
        const Operation& op = kCycle[i % 6];
        const uint16_t v = static_cast<uint16_t>(0x4000 + i);
        const std::vector<uint16_t> written =
            op.count == 1 ? std::vector<uint16_t>{v}
                          : std::vector<uint16_t>{static_cast<uint16_t>(v ^ 0x1111), static_cast<uint16_t>(v ^ 0x2222)};
        uint16_t words[kCalibrationWords] = {};
        Call call{op.name, 0, -1, 0, 0};
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        if (!op.write)
            call.result = JbusReadSeveralWords(handle, kSlave, op.address, op.count, words);
        else if (op.count == 1)
            call.result = JbusWriteOneWord(handle, kSlave, op.address, v);
        else
            call.result = JbusWriteSeveralWords(handle, kSlave, op.address, op.count, written.data());
        ::QueryPerformanceCounter(&end);
        call.elapsedUs = static_cast<uint64_t>((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart);
        call.boundUs = timing.LongestCallUs(op.write && op.count > 1 ? 9u + 2u * op.count : 8u,
                                            op.write ? size_t{8} : nxjbus::ExpectedAnswerBytes(0x03, op.count));
        const size_t text = static_cast<size_t>(op.address - kHostTextWord); // within the host text, if there
        if (!op.write && call.result == JBUS_OK) {
            // Checked against the blocks the emulator reported, or the host text once each word is known.
            if (op.address == kFactoryWord || op.address == kCalibrationWord) {
                const std::vector<uint16_t>& block = op.address == kFactoryWord ? factory : calibration;
                call.valueOk = std::equal(block.begin(), block.end(), words);
            } else if (std::all_of(known + text, known + text + op.count, [](bool k) { return k; })) {
                call.valueOk = std::equal(words, words + op.count, hostText + text);
            }
        }
        if (op.write) {
            // The host text after a write: the words written when the unit took them, whatever the answer.
            bool taken = call.result == JBUS_OK;
            if (!taken) {
                // The request may still be on its way to the unit on a loaded machine: let it arrive, then
                // look among the newest writes (each call writes values of its own).
                ::Sleep(500);
                std::vector<emu::WriteRecord> records;
                if (emu::history::ParseWrites(control.Line("history writes 4"), records))
                    for (const emu::WriteRecord& r : records)
                        taken = taken || (r.address == op.address && r.words == written);
            }
            if (taken)
                for (size_t w = 0; w < written.size(); ++w) {
                    hostText[text + w] = written[w];
                    known[text + w] = true;
                }
        }
        calls.push_back(call);
    }
    JbusClose(&handle);

    FILE* csv = std::fopen(argv[5], "w");
    if (!csv) {
        std::fprintf(stderr, "line_fault_driver: cannot write %s\n", argv[5]);
        return 2;
    }
    std::fprintf(csv, "call,operation,result,value_ok,elapsed_us,bound_us\n");
    int counts[15] = {};
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& c = calls[i];
        std::fprintf(csv, "%zu,%s,%d,%d,%llu,%llu\n", i, c.name, c.result, c.valueOk,
                     static_cast<unsigned long long>(c.elapsedUs), static_cast<unsigned long long>(c.boundUs));
        ++counts[c.result >= 0 && c.result < 15 ? c.result : 14];
    }
    std::fclose(csv);
    std::printf("line_fault_driver: %ld calls: %d succeeded, %d no answer (12), %d bad frame (13), %d other\n", total,
                counts[0], counts[12], counts[13], static_cast<int>(total) - counts[0] - counts[12] - counts[13]);
    return 0;
}
