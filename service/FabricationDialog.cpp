// Manufacturing settings and counters: every write-back is a read-modify-write of a block the unit
// has just delivered; a failed read writes nothing.
#include "service/FabricationDialog.h"

#include "link/BlockUpdate.h"
#include "nxlang/TextIds.h"
#include "resources/ServiceDialogIds.h"
#include "service/ServiceRules.h"

namespace {
namespace Text = nxlang::Manufacturing;
namespace Common = nxlang::Common;

constexpr uint16_t kFactoryRewritten = 0x0281;
constexpr uint16_t kFactoryDefaults = 0x0282;

// The option lists: control, choice texts in index order.
struct OptionList {
    int id;
    std::initializer_list<UINT> texts;
};
const OptionList kOptionLists[] = {
    {IDC_FAB_VOLTAGE, {Text::Voltage230, Text::Voltage120}},
    {IDC_FAB_PANORAMIC,
     {Text::PanoramicStandard, Text::PanoramicTmj, Text::PanoramicTmjSinus, Text::PanoramicFull}},
    {IDC_FAB_CEPHALOMETRIC, {Text::CephNone, Text::CephArmRight, Text::CephArmLeft}},
    {IDC_FAB_FREQUENCY, {Text::Frequency50, Text::Frequency60}},
    {IDC_FAB_TUBE, {Text::TubeFocus05, Text::TubeFocus06, Text::TubeFocus07}},
};
} // namespace

CFabricationDialog::CFabricationDialog(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_FABRICATION, parent, context) {}

BOOL CFabricationDialog::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(Text::Title);
    SetText(IDC_STATIC_SERI, Text::SerialLabel);
    SetText(IDC_STATIC_TENSION, Text::VoltageLabel);
    SetText(IDC_STATIC_FREQUENCE_SECTEUR, Text::FrequencyLabel);
    SetText(IDC_STATIC_REF_TUBE, Text::TubeLabel);
    SetText(IDC_STATIC_PANO, Text::PanoramicLabel);
    SetText(IDC_STATIC_CEPHALO, Text::CephalometricLabel);
    SetText(IDC_FAB_SAVE, Common::Save);
    SetText(IDC_FAB_DEFAULT, Common::Defaults);
    SetText(IDCANCEL, Common::Cancel);
    for (const OptionList& list : kOptionLists)
        FillList(list.id, list.texts);
    // The block holds 9 characters and a terminator.
    ::SendDlgItemMessageA(GetHwnd(), IDC_FAB_SERIAL, EM_LIMITTEXT,
                          unitlink::FactorySettingsBlock::kSerialNumberSize - 1, 0);

    unitlink::FactorySettingsBlock block;
    {
        service::LinkSection section(m_context.link);
        if (section.Get())
            section.Get()->ReadFactorySettings(&block); // a failed read shows zeros
    }
    Show(block);
    return TRUE;
}

void CFabricationDialog::Show(const unitlink::FactorySettingsBlock& block) {
    const int entries[] = {2, 4, 3, 2, 3};
    const uint16_t words[] = {block.MainsVoltage(), block.PanoramicOption(), block.CephalometricOption(),
                              block.MainsFrequency(), block.TubeReference()};
    for (std::size_t i = 0; i < std::size(kOptionLists); ++i)
        Select(kOptionLists[i].id, service::SelectionIndex(words[i], entries[i]));
    SetItem(IDC_FAB_SERIAL, block.SerialNumber());
}

bool CFabricationDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_FAB_SAVE:
        OnSave();
        return true;
    case IDC_FAB_DEFAULT:
        OnDefault();
        return true;
    default:
        return false;
    }
}

void CFabricationDialog::OnSave() {
    const service::FactorySelections selections{Selection(IDC_FAB_VOLTAGE), Selection(IDC_FAB_PANORAMIC),
                                                Selection(IDC_FAB_CEPHALOMETRIC),
                                                Selection(IDC_FAB_FREQUENCY), Selection(IDC_FAB_TUBE)};
    const std::string serial = ItemText(IDC_FAB_SERIAL);
    unitlink::BlockUpdateResult result = unitlink::BlockUpdateResult::ReadFailed;
    {
        service::LinkSection section(m_context.link);
        if (section.Get())
            result = unitlink::UpdateBlock<unitlink::FactorySettingsBlock>(
                *section.Get(), m_context.link.Lock(), [&](unitlink::FactorySettingsBlock& block) {
                    service::ApplyFactorySelections(block, selections);
                    block.SetSerialNumber(serial);
                });
    }
    static_assert(unitlink::BlocksRewrittenCommand(unitlink::kFactorySettingsMask) == kFactoryRewritten);
    if (result == unitlink::BlockUpdateResult::ReadFailed) {
        // Nothing was written: the dialog stays open so the technician can try again.
        Message(nxlang::SaveRestore::UnitNotRead, MB_OK | MB_ICONSTOP);
        return;
    }
    if (result != unitlink::BlockUpdateResult::Done)
        Message(Text::CommandRefused, MB_OK | MB_ICONEXCLAMATION);
    service::RefreshRestoreFile(m_context);
    EndDialog(0);
}

void CFabricationDialog::OnDefault() {
    unitlink::FactorySettingsBlock block;
    bool commandDone = false;
    {
        service::LinkSection section(m_context.link);
        if (section.Get()) {
            commandDone = section.Get()->WriteCommand(kFactoryDefaults);
            section.Get()->ReadFactorySettings(&block);
        }
    }
    if (!commandDone)
        Message(Text::CommandRefused, MB_OK | MB_ICONEXCLAMATION);
    Show(block);
}

CGeneralDialog::CGeneralDialog(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_GENERAL, parent, context) {}

BOOL CGeneralDialog::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    namespace Counters = nxlang::Counters;
    SetTitle(Counters::Title);
    SetText(IDC_GEN_FRAME, Counters::TubeFrame);
    SetText(IDC_GEN_SHOTS_LABEL, Counters::ShotCountLabel);
    SetText(IDC_GEN_ENERGY_LABEL, Counters::EnergyLabel);
    SetText(IDC_GEN_LOAD_LABEL, Counters::TubeLoadLabel);
    SetText(IDOK, Common::Ok);
    const std::string notAvailable = m_context.text(Counters::NotAvailable);
    unitlink::CounterRecord counters;
    uint16_t load = 0;
    bool countersRead = false, loadRead = false;
    {
        service::LinkSection section(m_context.link);
        if (section.Get()) {
            countersRead = section.Get()->ReadUnitCounters(&counters);
            loadRead = section.Get()->ReadGeneralCounter(&load);
        }
    }
    SetItem(IDC_GEN_SHOTS, countersRead ? service::ShotCountText(counters.FirstCounter()) : notAvailable);
    SetItem(IDC_GEN_ENERGY, countersRead ? service::EnergyKjText(counters.SecondCounter()) : notAvailable);
    SetItem(IDC_GEN_LOAD, loadRead ? std::to_string(load) : notAvailable);
    // The values are read-only: OK has the focus, not a field shown selected.
    ::SetFocus(GetItem(IDOK));
    return FALSE;
}
