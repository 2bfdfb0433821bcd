// Save and restore: the snapshot replaces the file only when every unit read succeeded, and a restore
// says what happened to the unit instead of always reporting success.
#include "service/SaveRestoreDialog.h"

#include "nxlang/TextIds.h"
#include "resources/ServiceDialogIds.h"

namespace {
namespace Text = nxlang::SaveRestore;
namespace Common = nxlang::Common;
} // namespace

CSrDialog::CSrDialog(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_SAVE_RESTORE, parent, context) {}

BOOL CSrDialog::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(Text::Title);
    SetText(IDC_SR_SAVE_FRAME, Text::SaveFrame);
    SetText(IDC_SR_SAVE_TEXT, Text::SaveExplanation);
    SetText(IDC_SR_SAVE, Common::Save);
    SetText(IDC_SR_RESTORE_FRAME, Text::RestoreFrame);
    SetText(IDC_SR_RESTORE_TEXT, Text::RestoreExplanation);
    SetText(IDC_SR_RESTORE, Common::Restore);
    SetText(IDCANCEL, Common::Cancel);
    return TRUE;
}

bool CSrDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_SR_SAVE:
        OnSave();
        return true;
    case IDC_SR_RESTORE:
        OnRestore();
        return true;
    default:
        return false;
    }
}

void CSrDialog::OnSave() {
    // A unit that refused a block, or a read that failed, leaves the earlier file as it was.
    const auto result = service::RefreshRestoreFile(m_context);
    Message(result == unitlink::RestoreSaveResult::Saved ? nxlang::Message::SettingsSaved
                                                         : nxlang::Message::SaveFailed,
            MB_OK | (result == unitlink::RestoreSaveResult::Saved ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
    EndDialog(0);
}

void CSrDialog::OnRestore() {
    unitlink::RestoreResult result;
    {
        service::LinkSection section(m_context.link);
        result = unitlink::RestoreUnitBlocks(section.Get(), m_context.link.Lock(), m_context.files,
                                             m_context.restorePath);
    }
    UINT text = Text::Restored;
    UINT icon = MB_ICONINFORMATION;
    switch (result) {
    case unitlink::RestoreResult::Restored:
        // The restored preferences carry the selection's compensation: the panel reads it again.
        if (m_context.refreshSelection)
            m_context.refreshSelection();
        break;
    case unitlink::RestoreResult::FileMissing:
        text = Text::NothingToRestore;
        icon = MB_ICONEXCLAMATION;
        break;
    case unitlink::RestoreResult::FileTooShort:
        text = Text::RestoreFileDamaged;
        icon = MB_ICONEXCLAMATION;
        break;
    case unitlink::RestoreResult::UnitWriteFailed:
        text = Text::RestoreFailed;
        icon = MB_ICONSTOP;
        break;
    }
    Message(text, MB_OK | icon);
    EndDialog(0);
}
