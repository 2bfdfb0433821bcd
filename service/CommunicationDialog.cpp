// The communication dialog: display only, nothing is written back.
#include "service/CommunicationDialog.h"

#include "nxlang/TextIds.h"
#include "resources/ServiceDialogIds.h"
#include "service/ServiceRules.h"
#include "support/Settings.h"

namespace {
namespace Text = nxlang::Communication;
} // namespace

CNewCommunicationDialog::CNewCommunicationDialog(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_COMMUNICATION, parent, context) {}

BOOL CNewCommunicationDialog::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(Text::Title);
    SetText(IDC_CADRE_SERIE, Text::SerialFrame);
    SetText(IDC_STATIC_PORT, Text::PortLabel);
    SetText(IDC_STATIC_BAUDRATE, Text::BaudRateLabel);
    ::EnableWindow(GetItem(IDC_COM_PORTS), FALSE);
    ::EnableWindow(GetItem(IDC_COM_BAUDS), FALSE);

    const std::vector<std::string> ports =
        m_context.serialPorts ? m_context.serialPorts() : std::vector<std::string>{};
    for (const std::string& port : ports)
        ::SendDlgItemMessageA(GetHwnd(), IDC_COM_PORTS, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(port.c_str()));

    const std::string countText = m_context.moduleText(IDS_BAUD_COUNT);
    std::vector<std::string> rateTexts;
    // The count is the module's own text; a few more than any real list bound the lookups.
    constexpr int kMaxBaudEntries = 16;
    for (int i = 0; i < std::min(std::atoi(countText.c_str()), kMaxBaudEntries); ++i)
        rateTexts.push_back(m_context.moduleText(static_cast<UINT>(IDS_BAUD_FIRST + i)));
    for (const service::BaudEntry& entry : service::BaudList(countText, rateTexts)) {
        ::SendDlgItemMessageA(GetHwnd(), IDC_COM_BAUDS, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(entry.label.c_str()));
        m_baudValues.push_back(entry.value);
    }

    char com[2] = {};
    support::SettingsKey pano(m_context.registry, support::kPanoPath, support::SettingsKey::Read);
    pano.ReadText("COM", com, sizeof com, "");
    const std::string port = std::string("COM") + com;
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (com[0] && ports[i] == port)
            Select(IDC_COM_PORTS, static_cast<int>(i));
    int32_t baud = 0;
    support::ReadNumberOnce(m_context.registry, support::kLumenPath, "Baudrate", baud, 0);
    for (std::size_t i = 0; i < m_baudValues.size(); ++i)
        if (m_baudValues[i] == baud)
            Select(IDC_COM_BAUDS, static_cast<int>(i));

    SetText(IDC_CADRE_HISTORIQUE, Text::HistoryFrame);
    SetText(IDC_STATIC_TOTAL_REQUETE, Text::TotalLabel);
    SetText(IDC_STATIC_REQUETE_ERRONEE, Text::BadLabel);
    SetText(IDC_STATIC_TAUX_ECHEC, Text::FailureRateLabel);
    SetText(IDOK, nxlang::Common::Ok);
    for (int id : {IDC_COM_TOTAL, IDC_COM_BAD, IDC_COM_RATE})
        ::SendDlgItemMessageA(GetHwnd(), id, EM_SETREADONLY, TRUE, 0);

    unitlink::LinkCounterRecord counters;
    {
        service::LinkSection section(m_context.link);
        if (section.Get())
            section.Get()->ReadLinkCounters(&counters); // a failed read shows zeros
    }
    const service::FrameCounts texts =
        service::FrameCountTexts(counters.FramesReceived(), counters.FramesWithError());
    SetItem(IDC_COM_TOTAL, texts.total);
    SetItem(IDC_COM_BAD, texts.bad);
    SetItem(IDC_COM_RATE, texts.rate);
    // The values are read-only: OK has the focus, not a field shown selected.
    ::SetFocus(GetItem(IDOK));
    return FALSE;
}
