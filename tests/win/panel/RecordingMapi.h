// What the recording MAPI32.DLL's last MAPISendMail call carried, read by the test through RecordedMail.
#pragma once

#include <windows.h>

struct RecordedMailCall {
    int calls;
    ULONG flags, recipients, files, position;
    int fileNameGiven;
    char subject[256], note[256], path[MAX_PATH];
};
