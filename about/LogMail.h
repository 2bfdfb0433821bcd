// The event log sent through the system's Simple MAPI mail client, as an attachment of a new message
// that the operator completes in the client's own window.
#pragma once

#include <windows.h>

#include <string>

namespace about {

// What the mail system answered: MAPISendMail's code, or no mail system at all.
struct MailOutcome {
    bool available = false;
    unsigned long code = 0;
};

// Asks the mail client to log on and show its message window (flags 9) with this subject, note text
// and the file attached; no recipients. The process's current folder is kept.
MailOutcome SendFileByMail(HWND owner, const std::string& subject, const std::string& note,
                           const std::string& path);

} // namespace about
