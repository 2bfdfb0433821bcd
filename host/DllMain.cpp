// Library load and unload of Lumen70_Demo.dll.
#include "host/Lumen70App.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
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
        if (ModuleObjectsExist()) {
            theApp().ExitInstance();
            DestroyModuleObjects();
        }
        return TRUE;
    default:
        return TRUE;
    }
}
