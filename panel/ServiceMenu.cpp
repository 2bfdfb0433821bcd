// The service menu: popup, greyed special programs per design, and each command's action.
#include "panel/ServiceMenu.h"

#include "about/AboutDialog.h"
#include "about/SystemInfoDialog.h"
#include "host/LinkAccess.h"
#include "host/Lumen70App.h"
#include "link/Jbus.h"
#include "nxlang/TextIds.h"
#include "panel/DesignDialog.h"
#include "panel/ServiceCommands.h"
#include "platform/Handle.h"
#include "platform/Module.h"
#include "service/CommunicationDialog.h"
#include "service/FabricationDialog.h"
#include "service/HeatingCalibration.h"
#include "service/KvMaCalibration.h"
#include "service/PreferenceDialog.h"
#include "service/SaveRestoreDialog.h"
#include "service/StandCalibration.h"
#include "support/ErrorDialogs.h"
#include "support/EventLog.h"

namespace panel {

namespace {

constexpr UINT kPopupFlags = TPM_LEFTALIGN | TPM_RIGHTBUTTON;
constexpr UINT kConfirmFlags = MB_YESNO | MB_ICONQUESTION;

void GreyItems(HMENU menu, bool cephalometricDesign) {
    if (!menu)
        return;
    const GreyedPair greyed = GreyedSpecialPrograms(cephalometricDesign);
    for (UINT id : {greyed.first, greyed.second})
        ::EnableMenuItem(menu, id, MF_BYCOMMAND | MF_GRAYED);
}

// The panel counts the service dialogs up: a dialog inside a calibration run keeps it told.
void TellPanel(CDesignDialog& panel, bool open) {
    if (open)
        ++panel.serviceDialogOpen;
    else if (panel.serviceDialogOpen > 0)
        --panel.serviceDialogOpen;
}

bool Confirmed(HWND owner) {
    return platform::MessageBoxId(owner, nxlang::Message::ConfirmReset, kConfirmFlags) == IDYES;
}

// Writes a word under the link lock, without the refresh SendCommand adds; false when not written.
bool WriteWord(uint16_t word) {
    host::LinkSession link;
    return link.IsOpen() && link.Get()->WriteCommand(word);
}

template <typename Dialog> void ShowModal(HWND owner, service::ServiceContext& context) {
    Dialog dialog(owner, context);
    dialog.DoModal();
}

} // namespace

void OpenServiceMenu(CDesignDialog& panel, HWND button, HMENU userMenu, HMENU technicalMenu) {
    HWND owner = panel.GetHwnd();
    RECT at{};
    if (!button || !::GetWindowRect(button, &at))
        return;
    if (theApp().technicalAccess != 1) {
        if (HMENU popup = userMenu ? ::GetSubMenu(userMenu, 0) : nullptr)
            ::TrackPopupMenu(popup, kPopupFlags, at.right, at.top, 0, owner, nullptr);
        return;
    }
    HMENU settings = technicalMenu ? ::GetSubMenu(technicalMenu, 0) : nullptr;
    HMENU calibrations = technicalMenu ? ::GetSubMenu(technicalMenu, 1) : nullptr;
    if (!settings || !calibrations)
        return;
    platform::UniqueMenu popup(::CreatePopupMenu());
    if (!popup)
        return;
    ::AppendMenuA(popup.Get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(settings),
                  platform::LoadText(nxlang::Panel::TechnicalSettings).c_str());
    ::AppendMenuA(popup.Get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(calibrations),
                  platform::LoadText(nxlang::Panel::TechnicalCalibrations).c_str());
    panel.AdjustServiceMenu(calibrations);
    ::TrackPopupMenu(popup.Get(), kPopupFlags, at.right, at.top, 0, owner, nullptr);
    // The branches belong to the technical menu: taken out before the popup goes.
    while (::GetMenuItemCount(popup.Get()) > 0)
        ::RemoveMenu(popup.Get(), 0, MF_BYPOSITION);
}

bool RunServiceCommand(CDesignDialog& panel, UINT id) {
    const ServiceCommand* command = FindServiceCommand(id);
    if (!command)
        return false;
    CLumen70App& app = theApp();
    HWND owner = panel.GetHwnd();
    unitlink::StdRestoreFileStore files;
    service::ServiceContext context = service::MakeServiceContext(
        host::ModuleUnitLink(), files, app.restorePath, [&panel] { panel.RefreshSelection(); },
        [&panel](bool open) { TellPanel(panel, open); });

    switch (command->action) {
    case ServiceAction::About:
        ShowModal<CAboutDialog>(owner, context);
        break;
    case ServiceAction::General:
        ShowModal<CGeneralDialog>(owner, context);
        break;
    case ServiceAction::Communication:
        ShowModal<CNewCommunicationDialog>(owner, context);
        break;
    case ServiceAction::Preferences:
        ShowModal<CPreferenceDialog>(owner, context);
        break;
    case ServiceAction::Manufacturing:
        ShowModal<CFabricationDialog>(owner, context);
        break;
    case ServiceAction::SaveRestore:
        ShowModal<CSrDialog>(owner, context);
        break;
    case ServiceAction::Details: {
        CDetailsDialog details(owner, app.iniPath);
        TellPanel(panel, true);
        details.DoModal();
        TellPanel(panel, false);
        break;
    }
    case ServiceAction::SystemInformation: {
        CMoreAbout information(owner, context, [] { return ModuleLog().GetLogPath(); });
        information.DoModal();
        break;
    }
    case ServiceAction::KvCalibration:
    case ServiceAction::MaCalibration:
        service::RunKvMaCalibration(owner, context, command->action == ServiceAction::KvCalibration);
        break;
    case ServiceAction::HeatingCalibration:
        service::RunHeatingCalibration(owner, context);
        break;
    case ServiceAction::StandCalibration:
        service::RunStandCalibration(owner, context);
        break;
    case ServiceAction::ResetUnit:
        if (Confirmed(owner))
            panel.SendCommand(static_cast<uint8_t>(command->word));
        break;
    case ServiceAction::ResetCalibrationTable:
        if (Confirmed(owner))
            WriteWord(command->word);
        break;
    case ServiceAction::ResetSetPoints:
        if (Confirmed(owner) && !WriteWord(command->word))
            platform::MessageBoxId(owner, nxlang::Preferences::CommandRefused);
        break;
    case ServiceAction::Select:
        panel.SendSelectCommand(command->selectFirst, 0);
        break;
    }
    return true;
}

} // namespace panel

void CDesignDialogV1::AdjustServiceMenu(HMENU& menu) {
    panel::GreyItems(menu, false);
}
void CDesignDialogV2::AdjustServiceMenu(HMENU& menu) {
    panel::GreyItems(menu, false);
}
void CDesignDialogV3::AdjustServiceMenu(HMENU& menu) {
    panel::GreyItems(menu, true);
}
