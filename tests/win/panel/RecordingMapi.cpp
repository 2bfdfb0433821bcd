// A Simple MAPI library for the tests, loaded as MAPI32.DLL: MAPISendMail records what it was given,
// moves the current folder (as mail clients do) and answers the code the test set.
#include "RecordingMapi.h"

#include <mapi.h>

#include <cstring>

template <size_t N> static void CopyText(char (&out)[N], const char* text) {
    std::strncpy(out, text ? text : "", N - 1);
}

extern "C" {

static RecordedMailCall g_record;
static ULONG g_result = SUCCESS_SUCCESS;

__declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE, ULONG_PTR, lpMapiMessage message, FLAGS flags, ULONG) {
    ++g_record.calls;
    g_record.flags = flags;
    g_record.recipients = message->nRecipCount;
    g_record.files = message->nFileCount;
    CopyText(g_record.subject, message->lpszSubject);
    CopyText(g_record.note, message->lpszNoteText);
    if (message->nFileCount > 0 && message->lpFiles) {
        g_record.position = message->lpFiles[0].nPosition;
        g_record.fileNameGiven = message->lpFiles[0].lpszFileName != nullptr;
        CopyText(g_record.path, message->lpFiles[0].lpszPathName);
    }
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, sizeof windows);
    ::SetCurrentDirectoryA(windows);
    return g_result;
}

__declspec(dllexport) void RecordedMail(RecordedMailCall* out) {
    *out = g_record;
}

__declspec(dllexport) void SetMailResult(ULONG result) {
    g_result = result;
}

} // extern "C"
