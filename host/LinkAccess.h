// The module's use of the unit link, in one place: the exports and the GUI thread go through these.
#pragma once

#include <cstdint>

namespace unitlink {
class CJbus;
class UnitLink;
struct FactorySettingsBlock;
}

namespace host {

// The link for GUI code: holds the link lock for its lifetime (re-entrant on the thread), so a
// sequence of register operations runs as one. Get() is null when there is no link object or the
// lock could not be taken.
class LinkSession {
public:
    LinkSession();
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    unitlink::CJbus* Get() const noexcept { return m_link; }
    // A link whose bus is open: the only state in which the unit may be addressed.
    bool IsOpen() const;

private:
    const bool m_owns;
    unitlink::CJbus* const m_link;
};

// Under the link lock: whether the bus is open (false without a link).
bool LinkIsOpen();

// OpenCommPort's work: 15 on success, 1 on failure (logged).
int OpenCommPort();
// Under the link lock: the unit's state word; false (state 0) when there is no link or the read failed.
bool ReadUnitState(uint16_t& state);
// The link's protocol version, 1 when there is no link.
int LinkProtocolVersion();
// Under the link lock: the unit's factory-settings block; false (block untouched) when the bus is
// closed, so that a closed link latches no error, or when the read failed.
bool ReadFactorySettings(unitlink::FactorySettingsBlock& block);
// Under the link lock: closes the bus, keeping the link object.
void CloseBus();
// Under the link lock: closes the bus if open and destroys the link object.
void DestroyLink();
// Refreshes both shot records and the shot values from the unit (nothing without a link).
void RefreshShotRecords();
// As RefreshShotRecords, also copying the refreshed panoramic record (211 bytes) into out; false
// (out untouched) when the records do not exist.
bool RefreshShotRecordsInto(uint8_t* out);
// Under the link lock: the restore file snapshot from the unit, unless the file can already be read.
void SaveRestoreFileIfMissing();
// Under the link lock: the restore file snapshot from the unit, replacing the file.
void SaveRestoreFileNow();
// GetInfosTir: the record of the current mode, refreshed, into the host's buffer.
void CopyShotRecord(uint8_t* record);
// GetExpositionTime: the four exposure fields of a host's panoramic record.
void FillExpositionTime(uint8_t* record);
// The mirror flag and the "Rotation" setting from the unit's rotation flag.
void UpdateMirrorFromUnit();

// The module's unit link object, for GUI code that runs its own sequences: hold its Lock() around
// every use of Get().
unitlink::UnitLink& ModuleUnitLink();

} // namespace host
