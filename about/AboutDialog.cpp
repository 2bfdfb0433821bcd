// The about box: module versions from their version resources, the firmware from the unit.
#include "about/AboutDialog.h"

#include "about/AboutText.h"
#include "about/ModuleVersion.h"
#include "nxlang/TextIds.h"
#include "platform/Module.h"
#include "resources/AboutDialogIds.h"

namespace {

using namespace nxlang::About;

constexpr int kLabelFontHeight = 20;
// Tab stops every 48 dialog units line the firmware values up after their labels' one or two tabs.
constexpr int kFirmwareTabStop = 48;

about::ModuleVersionText VersionOf(std::string name, HMODULE module) {
    about::ModuleVersionText text{std::move(name), {}};
    CModuleVersion version;
    const bool read = version.GetFileVersionInfo(module);
    for (const char* key : about::kVersionKeys)
        text.values.push_back(read ? version.GetValue(key) : std::string());
    return text;
}

} // namespace

CAboutDialog::CAboutDialog(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_ABOUT, parent, context) {}

BOOL CAboutDialog::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(Title);
    SetText(IDOK, nxlang::Common::Ok);
    SetText(IDC_ABOUT_SOFTWARE_LABEL, SoftwareLabel);
    SetText(IDC_ABOUT_FIRMWARE_LABEL, FirmwareLabel);
    m_bold.Reset(::CreateFontA(kLabelFontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                               0, FF_SWISS, nullptr));
    for (int id : {IDC_ABOUT_SOFTWARE_LABEL, IDC_ABOUT_FIRMWARE_LABEL})
        ::SendMessageA(GetItem(id), WM_SETFONT, reinterpret_cast<WPARAM>(m_bold.Get()), TRUE);
    ShowSoftware();
    ShowFirmware();
    // The focus on OK: on an edit it would select the whole text.
    ::SetFocus(GetItem(IDOK));
    return FALSE;
}

void CAboutDialog::ShowSoftware() {
    // The module is found by its own handle: a host may have renamed its file.
    HMODULE self = platform::ResourceModule();
    std::string selfName = ModuleFileName(self);
    HMODULE language =
        platform::LanguageModule() ? platform::LanguageModule() : ::GetModuleHandleA("NxLang.dll");
    const std::vector<about::ModuleVersionText> modules = {
        VersionOf(selfName.empty() ? "Lumen70_Demo.dll" : selfName, self),
        VersionOf("Nxjbus.dll", ::GetModuleHandleA("Nxjbus.dll")),
        VersionOf("NxLang.dll", language),
    };
    SetItem(IDC_ABOUT_SOFTWARE, about::SoftwareText(modules));
}

void CAboutDialog::ShowFirmware() {
    const about::FirmwareLabels labels{m_context.text(UnitType), m_context.text(SoftwareVersion),
                                       m_context.text(ReleaseDate), m_context.text(SerialNumber)};
    unitlink::IdentificationBlock identification;
    unitlink::FactorySettingsBlock factory;
    // The lock spans both reads and the display, so no poll of the panel comes between them. A
    // closed bus is not addressed: a failed request would latch a link failure for the panel.
    service::LinkSection section(m_context.link);
    if (unitlink::CJbus* unit = section.Get(); unit && unit->GetHandle() != unitlink::kClosedHandle) {
        unit->ReadIdentification(&identification);
        unit->ReadFactorySettings(&factory);
    }
    const int tabStop = kFirmwareTabStop;
    ::SendMessageA(GetItem(IDC_ABOUT_FIRMWARE), EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tabStop));
    SetItem(IDC_ABOUT_FIRMWARE, about::FirmwareText(labels, identification, factory));
}
