// Simple MAPI, loaded when the operator asks for it.
#include "about/LogMail.h"

#include <mapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace about {

namespace {

constexpr std::size_t kMailFieldSize = 128;
constexpr ULONG kSendFlags = MAPI_LOGON_UI | MAPI_DIALOG; // 9
constexpr ULONG kNoPosition = static_cast<ULONG>(-1);

// A text copied into a fixed mail field, cut so its terminator fits.
struct MailField {
    explicit MailField(const std::string& text) {
        const std::size_t n = std::min(text.size(), kMailFieldSize - 1);
        std::memcpy(bytes, text.data(), n);
    }
    char bytes[kMailFieldSize] = {};
};

// The current folder, put back whatever the mail client did with it.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper() {
        const DWORD size = ::GetCurrentDirectoryA(0, nullptr);
        if (size == 0)
            return;
        m_folder.resize(size);
        if (::GetCurrentDirectoryA(size, m_folder.data()) == 0)
            m_folder.clear();
    }
    ~CurrentFolderKeeper() {
        if (!m_folder.empty())
            ::SetCurrentDirectoryA(m_folder.data());
    }
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    std::vector<char> m_folder;
};

} // namespace

MailOutcome SendFileByMail(HWND owner, const std::string& subject, const std::string& note,
                           const std::string& path) {
    // Loaded once and kept: a mail client may leave threads of its own running in the library.
    static HMODULE mapi = nullptr;
    if (!mapi)
        mapi = ::LoadLibraryA("MAPI32.DLL");
    if (!mapi)
        return {};
    auto send =
        reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(::GetProcAddress(mapi, "MAPISendMail")));
    if (!send)
        return {};

    CurrentFolderKeeper folder;
    MailField subjectField(subject), noteField(note);
    std::vector<char> pathName(path.begin(), path.end());
    pathName.push_back('\0');
    MapiFileDesc file{};
    file.nPosition = kNoPosition;
    file.lpszPathName = pathName.data();
    MapiMessage message{};
    message.lpszSubject = subjectField.bytes;
    message.lpszNoteText = noteField.bytes;
    message.nFileCount = 1;
    message.lpFiles = &file;

    // The client's window is modal over the dialog: nothing of ours takes input meanwhile.
    if (owner) {
        ::SetCapture(owner);
        ::SetFocus(nullptr);
    }
    const ULONG code = send(0, reinterpret_cast<ULONG_PTR>(owner), &message, kSendFlags, 0);
    if (owner) {
        ::ReleaseCapture();
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
        ::SetFocus(owner);
    }
    return {true, code};
}

} // namespace about
