// lumen-emulator: serves the unit model as a JBUS slave on a serial device with libmodbus, with scenario
// control lines on standard input and, optionally, on a loopback TCP port.
#include "emulator/Clock.h"
#include "emulator/ControlLine.h"
#include "emulator/LinkReplay.h"
#include "emulator/UnitModel.h"

#include <modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::string serial;
    int baud = 19200;
    std::string version = emu::defaults::kDefaultVersion;
    int slave = emu::defaults::kDefaultSlave;
    int controlPort = -1; // -1 = none, 0 = any free port
    std::string stateFile;
    double speed = 1.0;
    std::string replay; // a service trace to answer from instead of the model
};

void Usage(FILE* out) {
    std::fprintf(
        out,
        "usage: lumen-emulator --serial PATH [--baud N] [--unit-version TEXT] [--slave N]\n"
        "                      [--control PORT] [--state FILE] [--speed N] [--replay TRACE]\n"
        "  --serial PATH        serial device to serve on (e.g. one end of a socat pty pair)\n"
        "  --baud N             9600, 19200 (default), 38400, 57600 or 115200\n"
        "  --unit-version TEXT  identification version, default %s (1.xx protocol 1, 2.xx/3.xx protocol 2)\n"
        "  --slave N            JBUS slave number, default %d\n"
        "  --control PORT       scenario lines on 127.0.0.1:PORT (0 = any free port, printed)\n"
        "  --state FILE         the unit's non-volatile memory (blocks, counters, set points)\n"
        "  --speed N            run the unit's clock N times faster than real time\n"
        "  --replay TRACE       answer as the unit did in a recorded bus trace (NXJBUS_TRACE); every\n"
        "                       request that differs from the trace is reported on standard error\n"
        "scenario lines (also on standard input): %s\n",
        emu::defaults::kDefaultVersion, emu::defaults::kDefaultSlave, emu::ControlHelp());
}

bool ParseInt(const char* text, long min, long max, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= min && value <= max;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            Usage(stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "lumen-emulator: %s needs a value\n", opt.c_str());
            return false;
        }
        const char* value = argv[++i];
        long n = 0;
        if (opt == "--serial") {
            o.serial = value;
        } else if (opt == "--baud" && ParseInt(value, 1, 115200, n) &&
                   (n == 9600 || n == 19200 || n == 38400 || n == 57600 || n == 115200)) {
            o.baud = static_cast<int>(n);
        } else if (opt == "--unit-version" && emu::UnitModel::IsValidVersion(value)) {
            o.version = value;
        } else if (opt == "--slave" && ParseInt(value, 1, 247, n)) {
            o.slave = static_cast<int>(n);
        } else if (opt == "--control" && ParseInt(value, 0, 65535, n)) {
            o.controlPort = static_cast<int>(n);
        } else if (opt == "--replay") {
            o.replay = value;
        } else if (opt == "--state") {
            o.stateFile = value;
        } else if (opt == "--speed") {
            char* end = nullptr;
            o.speed = std::strtod(value, &end);
            if (end == value || *end != '\0' || !(o.speed > 0) || o.speed > 10000) {
                std::fprintf(stderr, "lumen-emulator: bad --speed %s\n", value);
                return false;
            }
        } else {
            std::fprintf(stderr, "lumen-emulator: bad option or value: %s %s\n", opt.c_str(), value);
            return false;
        }
    }
    if (o.serial.empty()) {
        std::fprintf(stderr, "lumen-emulator: --serial PATH is required\n");
        return false;
    }
    return true;
}

uint16_t Crc16(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

class Server {
public:
    Server(const Options& options, emu::UnitModel& model, std::mutex& mutex, emu::LinkReplay* replay)
        : m_options(options), m_model(model), m_mutex(mutex), m_replay(replay) {}

    bool Open() {
        m_ctx = modbus_new_rtu(m_options.serial.c_str(), m_options.baud, 'N', 8, 1);
        if (!m_ctx) {
            std::fprintf(stderr, "lumen-emulator: %s\n", modbus_strerror(errno));
            return false;
        }
        modbus_set_slave(m_ctx, m_options.slave);
        if (modbus_connect(m_ctx) == -1) {
            std::fprintf(stderr, "lumen-emulator: cannot open %s: %s\n", m_options.serial.c_str(),
                         modbus_strerror(errno));
            modbus_free(m_ctx);
            m_ctx = nullptr;
            return false;
        }
        return true;
    }
    ~Server() {
        if (m_ctx) {
            modbus_close(m_ctx);
            modbus_free(m_ctx);
        }
    }

    void Run() {
        std::vector<uint8_t> query(MODBUS_RTU_MAX_ADU_LENGTH);
        for (;;) {
            const int length = modbus_receive(m_ctx, query.data());
            if (length > 0) {
                Handle(query.data(), length);
            } else if (length == -1) {
                if (errno == EMBBADCRC || errno == EMBBADDATA) {
                    std::lock_guard lock(m_mutex);
                    m_model.CountFrame(false);
                }
                modbus_flush(m_ctx);
                if (errno == EBADF || errno == EIO) // the device went away
                    return;
            }
        }
    }

private:
    // The recorded unit's answer, after the time it took (less the wire time of both frames, which the
    // line spends here too), or its silence.
    void Replay(const uint8_t* query, int length) {
        std::unique_lock lock(m_mutex);
        const nxjbus::Exchange* x = m_replay->Next(query, static_cast<size_t>(length));
        if (!x) {
            std::fprintf(stderr, "lumen-emulator: replay diverged: %s\n", m_replay->LastDivergence().c_str());
            return;
        }
        if (m_replay->Finished())
            std::fprintf(stderr, "lumen-emulator: %s; the trace has ended\n", m_replay->Status().c_str());
        const std::vector<uint8_t> answer = x->answer;
        const uint64_t wireMs = (10000ull * (answer.size() + static_cast<size_t>(length))) / m_options.baud;
        const uint32_t delay = emu::AnswerDelayMs(*x);
        lock.unlock();
        if (delay > wireMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay - wireMs));
        if (!answer.empty())
            WriteFrame(answer);
    }

    void Handle(const uint8_t* query, int length) {
        if (m_replay)
            return Replay(query, length);
        const uint8_t slave = query[0];
        const uint8_t function = query[1];
        const bool broadcast = slave == 0;
        auto word = [&](int at) { return static_cast<uint16_t>((query[at] << 8) | query[at + 1]); };
        emu::Request request{function, 0, 0, 0};
        if (length >= 8) { // slave, function, address, count or value, CRC
            request.address = word(2);
            request.count = function == 0x06 ? 1 : word(4);
            request.firstValue = function == 0x06 ? word(4) : length >= 11 ? word(7) : 0;
        }
        std::unique_lock lock(m_mutex);
        const emu::LinkFault fault = m_model.BeginRequest(request);
        if (fault.kind == emu::FaultKind::NoAnswer) {
            m_model.CountFrame(false);
            return;
        }
        m_model.CountFrame(true);
        if (fault.kind == emu::FaultKind::Exception) {
            if (!broadcast)
                SendException(slave, function, static_cast<uint8_t>(fault.exceptionCode), false);
            return;
        }
        if (fault.kind == emu::FaultKind::Slow) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
            lock.lock();
        }
        const bool corrupt = fault.kind == emu::FaultKind::BadCrc;
        std::vector<uint8_t> answer{slave, function};
        int result = emu::kOk;
        switch (function) {
        case 0x03: {
            const uint16_t address = word(2), count = word(4);
            std::vector<uint16_t> words(count ? count : 1);
            result = m_model.ReadRegisters(address, count, words.data());
            if (result == emu::kOk) {
                answer.push_back(static_cast<uint8_t>(2 * count));
                for (uint16_t i = 0; i < count; ++i) {
                    answer.push_back(static_cast<uint8_t>(words[i] >> 8));
                    answer.push_back(static_cast<uint8_t>(words[i] & 0xFF));
                }
            }
            break;
        }
        case 0x06: {
            const uint16_t value = word(4);
            result = m_model.WriteRegisters(word(2), 1, &value);
            answer.insert(answer.end(), query + 2, query + 6);
            break;
        }
        case 0x10: {
            const uint16_t address = word(2), count = word(4);
            const int byteCount = query[6];
            if (count == 0 || count > emu::kMaxWriteWords || byteCount != 2 * count ||
                length < 7 + byteCount + 2) {
                result = emu::kIllegalValue;
                break;
            }
            std::vector<uint16_t> values(count);
            for (uint16_t i = 0; i < count; ++i)
                values[i] = word(7 + 2 * i);
            result = m_model.WriteRegisters(address, count, values.data());
            answer.insert(answer.end(), query + 2, query + 6);
            break;
        }
        default:
            result = emu::kIllegalFunction;
            break;
        }
        lock.unlock();
        if (broadcast)
            return; // nobody answers a broadcast
        if (result != emu::kOk)
            SendException(slave, function, static_cast<uint8_t>(result), corrupt);
        else
            Send(answer, corrupt);
    }

    void SendException(uint8_t slave, uint8_t function, uint8_t code, bool corrupt) {
        Send({slave, static_cast<uint8_t>(function | 0x80), code}, corrupt);
    }

    void Send(std::vector<uint8_t> frame, bool corrupt) {
        uint16_t crc = Crc16(frame.data(), frame.size());
        if (corrupt)
            crc ^= 0xFFFF;
        frame.push_back(static_cast<uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        WriteFrame(frame);
    }

    void WriteFrame(const std::vector<uint8_t>& frame) {
        const int fd = modbus_get_socket(m_ctx);
        size_t done = 0;
        while (done < frame.size()) {
            const ssize_t n = ::write(fd, frame.data() + done, frame.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
        tcdrain(fd);
    }

    const Options& m_options;
    emu::UnitModel& m_model;
    std::mutex& m_mutex;
    emu::LinkReplay* m_replay;
    modbus_t* m_ctx = nullptr;
};

emu::LinkReplay* g_replay = nullptr; // set before any thread starts, never changed

std::string RunLine(emu::UnitModel& model, std::mutex& mutex, const std::string& line) {
    std::lock_guard lock(mutex);
    if (line == "replay status")
        return g_replay ? g_replay->Status() : "replay: off";
    return emu::ExecuteControlLine(model, line).reply;
}

void ServeControlConnection(int fd, emu::UnitModel& model, std::mutex& mutex) {
    std::string pending;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(n));
        if (pending.size() > 65536)
            break; // not a line-based client
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::string reply = RunLine(model, mutex, line) + "\n";
            if (::write(fd, reply.data(), reply.size()) < 0)
                break;
        }
    }
    ::close(fd);
}

int OpenControlSocket(int port, int& boundPort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // scenario control is for this machine only
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || ::listen(fd, 4) < 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) < 0) {
        ::close(fd);
        return -1;
    }
    boundPort = ntohs(address.sin_port);
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage(stderr);
        return 2;
    }
    emu::ScaledClock clock(options.speed);
    emu::UnitModel model(clock, options.version);
    std::mutex mutex;
    if (!options.stateFile.empty()) {
        std::string error;
        if (!model.AttachStateFile(options.stateFile, error)) {
            std::fprintf(stderr, "lumen-emulator: %s\n", error.c_str());
            return 1;
        }
    }

    std::unique_ptr<emu::LinkReplay> replay;
    if (!options.replay.empty()) {
        std::ifstream in(options.replay, std::ios::binary);
        nxjbus::Trace trace;
        std::string error = "cannot read the file";
        if (!in || !nxjbus::ReadTrace(in, trace, error)) {
            std::fprintf(stderr, "lumen-emulator: %s: %s\n", options.replay.c_str(), error.c_str());
            return 1;
        }
        std::printf("lumen-emulator: replaying %zu exchanges of %s from %s\n", trace.exchanges.size(),
                    trace.port.c_str(), options.replay.c_str());
        replay = std::make_unique<emu::LinkReplay>(std::move(trace));
        g_replay = replay.get();
    }

    Server server(options, model, mutex, replay.get());
    if (!server.Open())
        return 1;

    std::string controlText;
    if (options.controlPort >= 0) {
        int bound = 0;
        const int listener = OpenControlSocket(options.controlPort, bound);
        if (listener < 0) {
            std::fprintf(stderr, "lumen-emulator: cannot listen on 127.0.0.1:%d: %s\n", options.controlPort,
                         std::strerror(errno));
            return 1;
        }
        controlText = ", control on 127.0.0.1:" + std::to_string(bound);
        std::thread([listener, &model, &mutex] {
            for (;;) {
                const int fd = ::accept(listener, nullptr, nullptr);
                if (fd < 0) {
                    if (errno == EINTR || errno == ECONNABORTED)
                        continue;
                    return;
                }
                std::thread(ServeControlConnection, fd, std::ref(model), std::ref(mutex)).detach();
            }
        }).detach();
    }

    std::thread([&model, &mutex] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const std::string reply = RunLine(model, mutex, line);
            std::printf("%s\n", reply.c_str());
            std::fflush(stdout);
        }
    }).detach();

    std::printf("lumen-emulator: serving unit %s (protocol %d) as slave %d on %s at %d baud%s\n",
                model.Version().c_str(), model.ProtocolVersion(), options.slave, options.serial.c_str(),
                options.baud, controlText.c_str());
    std::fflush(stdout);
    server.Run();
    // The device is gone; the control threads still hold the model, so leave without unwinding it.
    std::fflush(stdout);
    std::_Exit(1);
}
