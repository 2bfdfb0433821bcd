// A JBUS slave for the bus library's line tests, built on libmodbus (an independent implementation of
// the protocol). It serves plain registers and misbehaves on request: reading one of the fault words
// makes it stay silent, damage its answer or answer as someone else. With --pace it holds each answer
// back by the time the request and the answer would take on a real line at the given baud rate.
//   nxjbus_test_peer DEVICE BAUD [--pace]
#include <modbus/modbus.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSlave = 1;
constexpr int kFirstWord = 0x6800;
constexpr int kWordCount = 0x0A00; // 0x6800..0x71FF; anything else is an illegal address

// Reading these words triggers a fault instead of the normal answer.
enum FaultWord : int {
    kSilent = 0x7E00,
    kBadCrc = 0x7E01,
    kTruncated = 0x7E02,
    kWrongSlave = 0x7E03,
    kWrongFunction = 0x7E04,
    kLengthTooLong = 0x7E05,
    kBusy = 0x7E06,
    kBadCrcOnce = 0x7E07, // damaged the first time, good the second: exercises the retry
};

uint16_t Crc(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

void SendRaw(int fd, std::vector<uint8_t> frame, bool goodCrc) {
    uint16_t crc = Crc(frame.data(), frame.size());
    if (!goodCrc)
        crc ^= 0x5A5A;
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    if (write(fd, frame.data(), frame.size()) < 0)
        std::perror("peer write");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DEVICE BAUD [--pace]\n", argv[0]);
        return 2;
    }
    int baud = std::atoi(argv[2]);
    bool pace = argc > 3 && std::strcmp(argv[3], "--pace") == 0;
    long charUs = 10L * 1000000 / baud;

    modbus_t* ctx = modbus_new_rtu(argv[1], baud, 'N', 8, 1);
    if (ctx == nullptr || modbus_set_slave(ctx, kSlave) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "peer: cannot open %s: %s\n", argv[1], modbus_strerror(errno));
        return 1;
    }
    modbus_mapping_t* map = modbus_mapping_new_start_address(0, 0, 0, 0, kFirstWord, kWordCount, 0, 0);
    for (int i = 0; i < kWordCount; ++i)
        map->tab_registers[i] = static_cast<uint16_t>(kFirstWord + i); // each word holds its address
    std::printf("ready\n");
    std::fflush(stdout);

    int fd = modbus_get_socket(ctx);
    bool damagedOnce = false;
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) { // ends with SIGTERM from the test script
        int length = modbus_receive(ctx, query);
        if (length <= 0)
            continue; // not for us, damaged, or interrupted
        const uint8_t function = query[1];
        const int address = (query[2] << 8) | query[3];
        const int count = (query[4] << 8) | query[5];
        if (pace) {
            int answerBytes = function == 0x03 ? 5 + 2 * count : 8;
            usleep(static_cast<useconds_t>((length + answerBytes) * charUs));
        }
        if (function == 0x03) {
            switch (address) {
            case kSilent:
                continue;
            case kBadCrc:
                SendRaw(fd, {kSlave, 0x03, 2, 0x12, 0x34}, false);
                continue;
            case kTruncated:
                SendRaw(fd, {kSlave, 0x03, 2}, true);
                continue;
            case kWrongSlave:
                SendRaw(fd, {kSlave + 1, 0x03, 2, 0x12, 0x34}, true);
                continue;
            case kWrongFunction:
                SendRaw(fd, {kSlave, 0x04, 2, 0x12, 0x34}, true);
                continue;
            case kLengthTooLong: {
                std::vector<uint8_t> frame = {kSlave, 0x03, 0xFF};
                frame.resize(250, 0xAA);
                SendRaw(fd, frame, true);
                continue;
            }
            case kBusy:
                modbus_reply_exception(ctx, query, MODBUS_EXCEPTION_SLAVE_OR_SERVER_BUSY);
                continue;
            case kBadCrcOnce:
                damagedOnce = !damagedOnce;
                SendRaw(fd, {kSlave, 0x03, 2, 0x7E, 0x07}, !damagedOnce);
                continue;
            default:
                break;
            }
        }
        modbus_reply(ctx, query, length, map);
    }
}
