// The exported interface of Lumen70_Demo.dll: plain C functions with the host's names.
#include "host/GuiThread.h"
#include "host/LinkAccess.h"
#include "host/Lumen70App.h"
#include "host/VersionList.h"
#include "host/image/ImageServices.h"
#include "platform/SystemInfo.h"

#include <cstring>

namespace img = host::image;

extern "C" {

int OpenCommPort() { return host::OpenCommPort(); }

int StartDialog(uint32_t hostValue, uint32_t* windowSlot, HostNotifyFunction notify, unsigned char mode,
                const uint32_t* userText) {
    return host::StartDialog(hostValue, windowSlot, notify, mode, userText);
}

void GetInfosTir(void* record) {
    if (!record)
        return;
    host::CopyShotRecord(static_cast<uint8_t*>(record));
}

void GetExpositionTime(void* record) {
    if (!record)
        return;
    host::FillExpositionTime(static_cast<uint8_t*>(record));
}

int ReadPanoData() { return kResultSuccess; }
int ReadCephaloData() { return kResultSuccess; }

void ReArrangement(unsigned char* destination, int pixelCount, unsigned char* source) {
    static const int cacheSizeTold = (img::SetLastLevelCacheBytes(platform::LastLevelCacheBytes()), 0);
    (void)cacheSizeTold;
    img::ReArrange(destination, pixelCount, source, theApp().mirror != 0);
}

void TraitementATM4Images(img::TmjImage* image, unsigned char* record) { img::ReorderAtm4Images(image, record); }

int GetTiming(int, int* table) {
    int32_t result = 0;
    img::GetTiming(theApp().panoRecord.get(), table, result);
    return result;
}

int nCanCombineATM(int programA, int programB) { return img::CanCombineAtm(programA, programB); }

bool bPanoResolution(double* resolution) { return img::GetPanoResolution(resolution); }
bool bPanoRealResolution(double* resolution) { return img::GetPanoRealResolution(resolution); }
bool bCephaloRealResolution(double* resolution) { return img::GetCephaloRealResolution(resolution); }
bool bHaveToMirror() { return img::HaveToMirror(theApp().mirror); }
// Also exported as bCephaloPostProcess.
bool bPanoPostProcess() { return img::PostProcessWanted(); }

void GetInfoFileName(char* buffer) {
    if (!buffer)
        return;
    const std::string& path = theApp().iniPath;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
}

HWND GetMainWindowHandle() { return host::PanelWindow(); }

bool SetBrowseMskFnct(void* function) {
    if (!function)
        return false;
    theApp().browseMaskFunction = function;
    return true;
}

VersionEntry* pRVGetVersion() { return host::BuildVersionList(); }
void RVFreeVersion() { host::FreeVersionList(); }

} // extern "C"
