// The register images of both protocol versions: what a read returns and where a write lands.
#include "emulator/UnitInternals.h"

#include <algorithm>
#include <cmath>

namespace emu {

namespace d = defaults;
using namespace unit;

namespace {

// Byte offsets from the register base that differ between the two protocol versions.
struct Layout {
    uint16_t selection, selectionWords, shot, shotWords, measurement, cooling, general, acquisition, nox,
        image, linkCounters;
};
// acquisition and nox are 0 where the version has no such register (protocol 1 keeps NOX in the
// selection's seventh word).
constexpr Layout kLayoutV1{36, 7, 50, 5, 60, 76, 78, 0, 0, 80, 88};
constexpr Layout kLayoutV2{36, 6, 48, 11, 70, 86, 88, 90, 92, 94, 102};

// Writable areas of the register base (byte offset, words).
constexpr uint16_t kCommandOffset = 128;
constexpr uint16_t kFactoryOffset = 130;
constexpr uint16_t kCalibrationOffset = 162;
constexpr uint16_t kPreferenceOffset = 242;
constexpr uint16_t kUnitTextOffset = 282;
constexpr uint16_t kDisplayCodeOffset = 322;
constexpr uint16_t kBaseWords = 163; // through the display code

} // namespace

// ---------------------------------------------------------------------------------------------------
// Registers

void UnitModel::BuildImage(std::array<uint16_t, 164>& w, std::array<bool, 164>& mapped) {
    w.fill(0);
    mapped.fill(false);
    const Layout& L = m_protocol == 1 ? kLayoutV1 : kLayoutV2;
    auto map = [&](uint16_t byteOffset, uint16_t words) {
        for (uint16_t i = 0; i < words; ++i)
            mapped[byteOffset / 2 + i] = true;
    };
    auto bytesInto = [&](uint16_t byteOffset, const uint8_t* bytes, size_t size) {
        for (size_t i = 0; i < size / 2; ++i)
            w[byteOffset / 2 + i] = GetWord(bytes, 2 * i);
        map(byteOffset, static_cast<uint16_t>(size / 2));
    };

    bytesInto(0, m_identification.data(), m_identification.size());
    w[15] = StateWord();
    w[16] = m_error;
    if (m_protocol == 1) {
        // Protocol 1 delivers the conditions in the unit's raw layout.
        const uint16_t c = m_conditions;
        w[17] = static_cast<uint16_t>((c & 0x000F) | ((c & 0x0030) << 1) | ((c & 0x00C0) << 2) |
                                      ((c & 0xE000) >> 1) | m_conditionsV1Extra);
    } else {
        w[17] = m_conditions;
    }
    map(30, 3);

    const uint16_t s = L.selection / 2;
    w[s + 0] = m_current.kv;
    w[s + 1] = m_current.maTenths;
    w[s + 2] = m_current.timeHundredths;
    w[s + 3] = m_program; // high byte 0
    w[s + 4] = m_age;
    w[s + 5] = m_build;
    if (m_protocol == 1)
        w[s + 6] = NoxWord();
    map(L.selection, L.selectionWords);

    const uint16_t r = L.shot / 2;
    w[r + 0] = m_shot.kv;
    w[r + 1] = m_shot.maTenths;
    w[r + 2] = m_shot.timeDelivered;
    w[r + 3] = m_shot.timeSet;
    if (m_protocol == 2) {
        PutFloatWords(w.data(), r + 4, m_shot.dose);
        w[r + 6] = m_shot.doseKind;
        PutFloatWords(w.data(), r + 7, m_shot.dose1);
        PutFloatWords(w.data(), r + 9, m_shot.dose2);
    }
    map(L.shot, L.shotWords);

    for (size_t i = 0; i < m_measurement.size(); ++i)
        PutFloatWords(w.data(), L.measurement / 2 + 2 * i, m_measurement[i]);
    map(L.measurement, 8);

    w[L.cooling / 2] = WaitingSeconds();
    map(L.cooling, 1);
    const double heat = m_waitEndMs > m_nowMs ? (m_waitEndMs - m_nowMs) / 1000.0 * d::kCoolingWatts : 0.0;
    w[L.general / 2] =
        static_cast<uint16_t>(std::min(100.0, std::round(heat * 100.0 / d::kTubeHeatCapacityJ)));
    map(L.general, 1);
    if (L.acquisition) {
        w[L.acquisition / 2] = m_acquisition;
        map(L.acquisition, 1);
    }
    if (L.nox) {
        w[L.nox / 2] = NoxWord();
        map(L.nox, 1);
    }

    const Profile p = ProfileFor(m_program);
    w[L.image / 2 + 0] = m_rotation;
    w[L.image / 2 + 2] = m_imageLayout ? p.cls.imageCount : 0;
    w[L.image / 2 + 3] = m_imageLayout ? p.cls.imageLength : 0;
    map(L.image, 4);

    w[L.linkCounters / 2 + 0] = m_framesGood;
    w[L.linkCounters / 2 + 1] = m_framesBad;
    map(L.linkCounters, 9);

    w[kCommandOffset / 2] = m_lastCommand;
    map(kCommandOffset, 1);
    bytesInto(kFactoryOffset, m_factory.data(), m_factory.size());
    bytesInto(kCalibrationOffset, m_cal.data(), m_cal.size());
    bytesInto(kPreferenceOffset, m_prefs.data(), m_prefs.size());
    bytesInto(kUnitTextOffset, m_unitText.data(), m_unitText.size());
    bytesInto(kDisplayCodeOffset, m_displayCode.data(), m_displayCode.size());
}

int UnitModel::ReadRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    if (count == 0 || count > kMaxReadWords)
        return kIllegalValue;
    Update();
    const uint32_t end = static_cast<uint32_t>(address) + count;
    if (address >= kRegisterBaseWord && end <= kRegisterBaseWord + kBaseWords) {
        std::array<uint16_t, 164> words;
        std::array<bool, 164> mapped;
        BuildImage(words, mapped);
        const uint16_t first = address - kRegisterBaseWord;
        for (uint16_t i = 0; i < count; ++i)
            if (!mapped[first + i])
                return kIllegalAddress;
        std::copy_n(words.begin() + first, count, out);
        return kOk;
    }
    if (address >= kIdentificationAreaWord && end <= kIdentificationAreaWord + 5u) {
        const uint16_t counters[5] = {
            static_cast<uint16_t>(m_shots & 0xFFFF), static_cast<uint16_t>(m_shots >> 16),
            static_cast<uint16_t>(m_energyJ & 0xFFFF), static_cast<uint16_t>(m_energyJ >> 16), 0};
        std::copy_n(counters + (address - kIdentificationAreaWord), count, out);
        return kOk;
    }
    const uint16_t hostWord = m_protocol == 1 ? kHostTextWordV1 : kHostTextWordV2;
    if (address >= hostWord && end <= hostWord + 20u) {
        for (uint16_t i = 0; i < count; ++i)
            out[i] = GetWord(m_hostText.data(), 2 * (address - hostWord + i));
        return kOk;
    }
    return kIllegalAddress;
}

int UnitModel::WriteArea(uint16_t address, uint16_t count, const uint16_t* values) {
    if (count == 0 || count > kMaxWriteWords)
        return kIllegalValue;
    Update();
    const uint32_t end = static_cast<uint32_t>(address) + count;
    auto within = [&](uint16_t startWord, uint16_t words) {
        return address >= startWord && end <= startWord + words;
    };
    auto store = [&](uint8_t* bytes, uint16_t startWord) {
        for (uint16_t i = 0; i < count; ++i)
            PutWord(bytes, 2 * (address - startWord + i), values[i]);
        return kOk;
    };
    const uint16_t hostWord = m_protocol == 1 ? kHostTextWordV1 : kHostTextWordV2;
    auto base = [](uint16_t byteOffset) { return static_cast<uint16_t>(kRegisterBaseWord + byteOffset / 2); };
    if (within(hostWord, 20))
        return store(m_hostText.data(), hostWord);
    if (within(base(kCommandOffset), 1))
        return ExecuteCommand(values[0]);
    if (within(base(kFactoryOffset), 16))
        return store(m_factory.data(), base(kFactoryOffset));
    if (within(base(kCalibrationOffset), 40))
        return store(m_cal.data(), base(kCalibrationOffset));
    if (within(base(kPreferenceOffset), 20))
        return store(m_prefs.data(), base(kPreferenceOffset));
    if (within(base(kUnitTextOffset), 20))
        return store(m_unitText.data(), base(kUnitTextOffset));
    if (within(base(kDisplayCodeOffset), 2))
        return store(m_displayCode.data(), base(kDisplayCodeOffset));
    return kIllegalAddress;
}

} // namespace emu
