// The unit information file written through the platform's profile writer.
#include "panel/UnitInfoFileWriter.h"

#include "host/LinkAccess.h"
#include "host/Lumen70App.h"
#include "link/Jbus.h"
#include "panel/UnitInfoFile.h"
#include "platform/Module.h"

#include <windows.h>

namespace panel {

void WriteUnitInformationFile() {
    const std::string path = theApp().iniPath;
    if (path.empty() || !host::LinkIsOpen())
        return;
    ::DeleteFileA(path.c_str());
    UnitInfoBlocks blocks;
    {
        // The snapshot is one sequence on the link; the file is written after the lock is released.
        host::LinkSession link;
        if (!link.IsOpen())
            return;
        unitlink::CJbus* unit = link.Get();
        unit->ReadIdentification(&blocks.identification);
        unit->ReadUnitCounters(&blocks.counters);
        unit->ReadFactorySettings(&blocks.factory);
        unit->ReadCalibrationTable(&blocks.calibration);
        unit->ReadPreferences(&blocks.preferences);
    }
    for (const UnitInfoEntry& entry :
         UnitInfoEntries(blocks, [](uint16_t id) { return platform::LoadText(id); }))
        ::WritePrivateProfileStringA(entry.section.c_str(), entry.key.c_str(), entry.value.c_str(),
                                     path.c_str());
}

} // namespace panel
