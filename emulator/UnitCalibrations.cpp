// Data blocks (calibration, factory, preferences): validity, defaults, the stored copies, and the
// non-volatile memory file that keeps them with the counters and set points across restarts.
#include "emulator/UnitInternals.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace emu {

namespace d = defaults;
using namespace unit;

namespace {

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string text;
    char buffer[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", bytes[i]);
        text += buffer;
    }
    return text;
}
bool Unhex(const std::string& text, uint8_t* bytes, size_t size) {
    if (text.size() != size * 2)
        return false;
    for (size_t i = 0; i < size; ++i) {
        unsigned value = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = text[2 * i + k];
            const int nibble = (c >= '0' && c <= '9')   ? c - '0'
                               : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                               : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                        : -1;
            if (nibble < 0)
                return false;
            value = value * 16 + static_cast<unsigned>(nibble);
        }
        bytes[i] = static_cast<uint8_t>(value);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Data blocks

uint8_t* UnitModel::BlockData(Block block) {
    switch (block) {
    case Block::Calibration:
        return m_cal.data();
    case Block::Factory:
        return m_factory.data();
    default:
        return m_prefs.data();
    }
}
size_t UnitModel::BlockSize(Block block) const {
    return block == Block::Calibration ? kCalibrationBytes
           : block == Block::Factory   ? kFactoryBytes
                                       : kPreferenceBytes;
}

int16_t UnitModel::CalWord(int reg) const {
    return static_cast<int16_t>(GetWord(m_cal.data(), 2 * reg));
}
float UnitModel::CalFloat(const std::array<uint8_t, kCalibrationBytes>& table, int reg) const {
    return GetFloat(table.data(), 2 * reg);
}

bool UnitModel::BlockValid(Block block) const {
    switch (block) {
    case Block::Calibration: {
        for (int reg : {kRegKvMeasGain, kRegKvCmdGain, kRegMaMeasGain, kRegMaCmdGain}) {
            const float g = CalFloat(m_cal, reg);
            if (!std::isfinite(g) || g < d::kMinGain || g > d::kMaxGain)
                return false;
        }
        for (int reg : {kRegKvMeasOffset, kRegKvCmdOffset}) {
            const float o = CalFloat(m_cal, reg);
            if (!std::isfinite(o) || std::fabs(o) > d::kMaxKvOffset)
                return false;
        }
        for (int reg : {kRegMaMeasOffset, kRegMaCmdOffset}) {
            const float o = CalFloat(m_cal, reg);
            if (!std::isfinite(o) || std::fabs(o) > d::kMaxMaOffset)
                return false;
        }
        for (int i = 0; i < d::kHeatingPoints; ++i)
            if (std::abs(CalWord(kRegHeating + i)) > d::kMaxHeating)
                return false;
        return true;
    }
    case Block::Factory: {
        if (m_factory[0] == 0 ||
            std::find(m_factory.begin(), m_factory.begin() + 10, 0) == m_factory.begin() + 10)
            return false; // a serial number, terminated within its field
        for (int i = 0; i < 5; ++i)
            if (GetWord(m_factory.data(), 10 + 2 * i) >= d::kOptionChoices[i])
                return false;
        return true;
    }
    case Block::Preferences: {
        if (GetWord(m_prefs.data(), 0) > 2 || GetWord(m_prefs.data(), 28) > 1)
            return false;
        for (int row = 0; row < 4; ++row)
            for (int col = 1; col <= 3; ++col) {
                const uint16_t raw = GetWord(m_prefs.data(), 4 * col + 12 * (row / 2) + 2 * (row % 2));
                if (row % 2 == 0 && std::abs(static_cast<int16_t>(raw)) > d::kMaxCompensationKv)
                    return false;
                if (row % 2 == 1 && (raw < d::kMinCompensationPercent || raw > d::kMaxCompensationPercent))
                    return false;
            }
        return true;
    }
    }
    return false;
}

void UnitModel::RaiseBlockErrors() {
    if (m_error != 0)
        return;
    if (!BlockValid(Block::Calibration))
        m_error = kBlockErrorCal;
    else if (!BlockValid(Block::Factory))
        m_error = kBlockErrorFactory;
    else if (!BlockValid(Block::Preferences))
        m_error = kBlockErrorPrefs;
}

void UnitModel::StoreBlock(Block block) {
    switch (block) {
    case Block::Calibration:
        m_storedCal = m_cal;
        break;
    case Block::Factory:
        m_storedFactory = m_factory;
        break;
    case Block::Preferences:
        m_storedPrefs = m_prefs;
        break;
    }
}

void UnitModel::SetDefaultBlock(Block block) {
    switch (block) {
    case Block::Calibration: {
        m_cal.fill(0);
        uint8_t* c = m_cal.data();
        PutWord(c, 2 * kRegTravel, static_cast<uint16_t>(d::kStandTravel));
        PutWord(c, 2 * kRegHysteresis, static_cast<uint16_t>(d::kStandHysteresis));
        PutFloat(c, 6, 2.35f);
        PutFloat(c, 10, 4.10f);
        for (int reg : {kRegKvMeasGain, kRegKvCmdGain, kRegMaMeasGain, kRegMaCmdGain})
            PutFloat(c, 2 * reg, 1.0f);
        for (int i = 0; i < d::kHeatingPoints; ++i)
            PutWord(c, 2 * (kRegHeating + i),
                    static_cast<uint16_t>(HeatingValueAt(d::kHeatingBaseKv + d::kHeatingStepKv * i)));
        const uint8_t calibrationDate[5] = {24, 3, 18, 1, 0};
        std::memcpy(c + 70, calibrationDate, 5);
        break;
    }
    case Block::Factory:
        m_factory.fill(0);
        PutText(m_factory.data(), 10, d::kSerialNumber);
        PutWord(m_factory.data(), 10, d::kMainsVoltage);
        PutWord(m_factory.data(), 12, d::kMainsFrequency);
        PutWord(m_factory.data(), 14, d::kPanoOption);
        PutWord(m_factory.data(), 16, d::kCephOption);
        PutWord(m_factory.data(), 18, d::kTubeReference);
        break;
    case Block::Preferences:
        m_prefs.fill(0);
        PutWord(m_prefs.data(), 0, d::kRestPosition);
        for (int row = 0; row < 4; ++row)
            for (int col = 1; col <= 3; ++col)
                PutWord(m_prefs.data(), 4 * col + 12 * (row / 2) + 2 * (row % 2),
                        static_cast<uint16_t>(d::kCompensation[row][col - 1]));
        PutWord(m_prefs.data(), 28, d::kDoseUnit);
        break;
    }
    StoreBlock(block);
}

void UnitModel::CorruptBlock(Block block) {
    Update();
    switch (block) {
    case Block::Calibration:
        PutFloat(m_cal.data(), 2 * kRegKvMeasGain, 0.0f);
        break;
    case Block::Factory:
        PutWord(m_factory.data(), 14, 0xFFFF);
        break;
    case Block::Preferences:
        PutWord(m_prefs.data(), 28, 7);
        break;
    }
    RaiseBlockErrors();
}

// ---------------------------------------------------------------------------------------------------
// Non-volatile memory

bool UnitModel::AttachStateFile(const std::string& path, std::string& error) {
    m_statePath = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (std::filesystem::exists(path)) {
            error = "cannot read " + path;
            return false;
        }
        SaveState();
        return true;
    }
    std::stringstream text;
    text << in.rdbuf();
    LoadState(text.str());
    return true;
}

void UnitModel::SaveState() {
    if (m_statePath.empty())
        return;
    std::ostringstream out;
    out << "lumen-unit-state 1\n";
    out << "calibration " << Hex(m_storedCal.data(), m_storedCal.size()) << "\n";
    out << "factory " << Hex(m_storedFactory.data(), m_storedFactory.size()) << "\n";
    out << "preferences " << Hex(m_storedPrefs.data(), m_storedPrefs.size()) << "\n";
    out << "shots " << m_shots << "\n";
    out << "energy " << m_energyJ << "\n";
    for (const auto& [program, v] : m_userDefaults)
        out << "setpoint " << static_cast<unsigned>(program) << " " << v.kv << " " << v.maTenths << " "
            << v.timeHundredths << "\n";
    // Write beside and rename, so that a crash never leaves a half-written memory.
    const std::string temp = m_statePath + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (!file)
            return;
        file << out.str();
        if (!file.flush())
            return;
    }
    std::error_code ec;
    std::filesystem::rename(temp, m_statePath, ec);
}

void UnitModel::LoadState(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, value;
        fields >> key;
        if (key == "calibration" || key == "factory" || key == "preferences") {
            fields >> value;
            const Block block = key == "calibration" ? Block::Calibration
                                : key == "factory"   ? Block::Factory
                                                     : Block::Preferences;
            std::vector<uint8_t> bytes(BlockSize(block));
            if (!Unhex(value, bytes.data(), bytes.size())) {
                SetDefaultBlock(block);
                if (m_error == 0)
                    m_error = block == Block::Calibration ? kBlockErrorCal
                              : block == Block::Factory   ? kBlockErrorFactory
                                                          : kBlockErrorPrefs;
                continue;
            }
            std::memcpy(BlockData(block), bytes.data(), bytes.size());
            if (BlockValid(block)) {
                StoreBlock(block);
            } else {
                SetDefaultBlock(block);
                if (m_error == 0)
                    m_error = block == Block::Calibration ? kBlockErrorCal
                              : block == Block::Factory   ? kBlockErrorFactory
                                                          : kBlockErrorPrefs;
            }
        } else if (key == "shots") {
            fields >> m_shots;
        } else if (key == "energy") {
            fields >> m_energyJ;
        } else if (key == "setpoint") {
            unsigned program = 0, kv = 0, ma = 0, time = 0;
            if (fields >> program >> kv >> ma >> time && program < 256 && kv < 65536 && ma < 65536 &&
                time < 65536)
                m_userDefaults[static_cast<uint8_t>(program)] = {
                    static_cast<uint16_t>(kv), static_cast<uint16_t>(ma), static_cast<uint16_t>(time)};
        }
    }
    ApplyProgramDefaults();
}

} // namespace emu
