// Library load and unload of Lumen70_Demo.dll.
#include "host/Lumen70App.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ::DisableThreadLibraryCalls(module);
        CreateModuleObjects();
        if (!theApp().InitInstance(module)) {
            DestroyModuleObjects();
            return FALSE;
        }
        return TRUE;
    case DLL_PROCESS_DETACH:
        // At process exit the system has already killed the other threads wherever they were: the GUI
        // thread may have died inside the window manager or holding the link lock, so any cleanup here
        // (a cursor, a window, a lock, a free) could wait forever on what it left held. The system takes
        // back everything; only a FreeLibrary unload, with no thread of ours left, cleans up.
        if (reserved)
            return TRUE;
        if (ModuleObjectsExist()) {
            theApp().ExitInstance();
            DestroyModuleObjects();
        }
        return TRUE;
    default:
        return TRUE;
    }
}
