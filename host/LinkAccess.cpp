// The module's use of the unit link: the one UnitLink over Nxjbus.dll, the link lock and the
// module's first-error latch.
#include "host/LinkAccess.h"

#include "host/Lumen70App.h"
#include "host/ShotRecords.h"
#include "link/DataBlocks.h"
#include "link/PortOpening.h"
#include "link/RestoreFile.h"
#include "nxjbus/Nxjbus.h"
#include "platform/Module.h"
#include "support/EventLog.h"
#include "support/RVSharedObj.h"
#include "support/WinRegistry.h"

#include <memory>

namespace host {
namespace {

unitlink::BusApi NxjbusFunctions() {
    unitlink::BusApi api;
    api.open = &JbusOpen;
    api.close = &JbusClose;
    api.readSeveralWords = &JbusReadSeveralWords;
    api.writeOneWord = &JbusWriteOneWord;
    api.writeSeveralWords = &JbusWriteSeveralWords;
    return api;
}

// A plain pointer: no destructor of this module may run at process exit (see DllMain).
unitlink::UnitLink* g_link = nullptr;

unitlink::UnitLink& Link() {
    if (!g_link)
        g_link = new unitlink::UnitLink(LinkLock(), NxjbusFunctions(), theApp().firstError,
                                        [](unsigned ms) { ::Sleep(ms); });
    return *g_link;
}

} // namespace

int OpenCommPort() {
    CLumen70App& app = theApp();
    unitlink::PortOpeningServices services{
        support::SystemRegistry(), ModuleLog(),
        [](int textId, bool errorIcon) {
            platform::MessageBoxId(nullptr, static_cast<UINT>(textId),
                                   MB_OK | (errorIcon ? MB_ICONSTOP : MB_ICONEXCLAMATION));
        },
        [](int textId) { return platform::LoadText(static_cast<UINT>(textId)); }};
    int32_t newUnitFeatures = app.newUnitFeatures;
    uint8_t unitMajor3 = app.unitMajor3;
    int result = unitlink::OpenCommPort(Link(), services, {newUnitFeatures, unitMajor3});
    app.newUnitFeatures = newUnitFeatures;
    app.unitMajor3 = unitMajor3;
    return result;
}

bool ReadUnitState(uint16_t& state) {
    state = 0;
    // A closed bus is not asked: the failure it would latch would outlive the panel it started.
    LinkSession session;
    return session.IsOpen() && session.Get()->ReadUnitState(&state);
}

// A lock that could not be taken gives no link: every user already treats a null link as absent.
LinkSession::LinkSession() : m_owns(LinkLock().Lock(1)), m_link(m_owns ? Link().Get() : nullptr) {}

LinkSession::~LinkSession() {
    if (m_owns)
        LinkLock().Unlock();
}

bool LinkSession::IsOpen() const {
    return m_link && m_link->GetHandle() != unitlink::kClosedHandle;
}

bool LinkIsOpen() {
    LinkSession session;
    return session.IsOpen();
}

int LinkProtocolVersion() {
    support::LockGuard lock(LinkLock());
    if (!lock.owns())
        return 1;
    unitlink::CJbus* link = Link().Get();
    return link ? link->GetProtocolVersion() : 1;
}

bool ReadFactorySettings(unitlink::FactorySettingsBlock& block) {
    LinkSession session;
    return session.IsOpen() && session.Get()->ReadFactorySettings(&block);
}

void CloseBus() {
    support::LockGuard lock(LinkLock());
    if (!lock.owns())
        return;
    if (unitlink::CJbus* link = Link().Get())
        link->Close();
}

void DestroyLink() {
    if (g_link)
        g_link->CloseLink();
    delete g_link;
    g_link = nullptr;
}

namespace {
ShotContext RecordsContext() {
    CLumen70App& app = theApp();
    return {Link(), app.panoRecord.get(), app.cephRecord.get(), app.newUnitFeatures != 0,
            app.panel != nullptr};
}
// The module's shot values follow every refresh.
void Keep(const ShotValues& values) {
    CLumen70App& app = theApp();
    app.shotDose = values.dose;
    app.shotKv = values.kv;
    app.shotTime = values.timeSeconds;
}
ShotValues Current() {
    CLumen70App& app = theApp();
    return {app.shotDose, app.shotKv, app.shotTime};
}
} // namespace

void RefreshShotRecords() {
    ShotValues values = Current();
    RefreshShotInfo(RecordsContext(), values, nullptr, 0);
    Keep(values);
}

bool RefreshShotRecordsInto(uint8_t* out) {
    ShotValues values = Current();
    const bool refreshed = RefreshShotInfo(RecordsContext(), values, out, kPanoRecordSize);
    Keep(values);
    return refreshed;
}

void SaveRestoreFileIfMissing() {
    const std::string& path = theApp().restorePath;
    unitlink::StdRestoreFileStore files;
    if (path.empty() || files.Read(path, 1))
        return;
    LinkSession session;
    if (session.IsOpen())
        unitlink::SaveRestoreFile(session.Get(), LinkLock(), files, path);
}

void SaveRestoreFileNow() {
    const std::string& path = theApp().restorePath;
    unitlink::StdRestoreFileStore files;
    LinkSession session;
    if (!path.empty() && session.IsOpen())
        unitlink::SaveRestoreFile(session.Get(), LinkLock(), files, path);
}

void CopyShotRecord(uint8_t* record) {
    ShotValues values = Current();
    GetInfosTir(RecordsContext(), values, theApp().mode, record);
    Keep(values);
}

void FillExpositionTime(uint8_t* record) {
    ShotValues values = Current();
    GetExpositionTime(RecordsContext(), values, record);
    Keep(values);
}

unitlink::UnitLink& ModuleUnitLink() { return Link(); }

void UpdateMirrorFromUnit() {
    theApp().mirror = UpdateRotation(Link(), support::SystemRegistry());
}

} // namespace host
