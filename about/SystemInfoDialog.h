// CMoreAbout: the event log shown with its path, printed, or mailed as an attachment.
#pragma once

#include "service/ServiceContext.h"

#include <functional>
#include <string>

class CMoreAbout : public service::ServiceDialog {
public:
    // logPath gives the event log's path when the dialog opens.
    CMoreAbout(HWND parent, service::ServiceContext& context, std::function<std::string()> logPath);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnDestroy() override;

private:
    void OnPrint();
    void OnSendTo();
    void ShowProblem(const std::string& text);

    std::function<std::string()> m_logPathOf;
    std::string m_logPath;
    std::string m_logText; // the file's text up to its first 0 byte, as the edit shows it
};

namespace about {

// The failure messages of the system information dialog (the mail system's codes have theirs).
inline constexpr char kNoMailSystem[] = "Failed to send the message. Error: no mail system is installed.";
inline constexpr char kPrintAbandoned[] =
    "The event log could not be printed: the printer stopped the document.";

} // namespace about
