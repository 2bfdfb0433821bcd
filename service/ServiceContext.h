// What every service dialog is given: the unit link and its lock, the restore file, message boxes and
// texts, the serial ports and settings, and the two panel hooks. Tests fill it with fakes; the module
// fills it with MakeServiceContext.
#pragma once

#include "link/PortOpening.h"
#include "link/RestoreFile.h"
#include "platform/Dialog.h"
#include "support/RegistryStore.h"

#include <functional>
#include <string>
#include <vector>

namespace service {

struct ServiceContext {
    unitlink::UnitLink& link;
    unitlink::RestoreFileStore& files;
    std::string restorePath;
    support::RegistryStore& registry;
    // A language-library message box over the dialog; the button pressed.
    std::function<int(HWND owner, UINT textId, UINT flags)> messageBox;
    // A language-library text.
    std::function<std::string(UINT textId)> text;
    // A text of the module's own string table.
    std::function<std::string(UINT id)> moduleText;
    // The system's serial port names, in the order found.
    std::function<std::vector<std::string>()> serialPorts;
    // The panel re-reads the unit's selection (after a command that changed it).
    std::function<void()> refreshSelection;
    // The panel is told a service dialog is open (true) or closed (false).
    std::function<void(bool open)> serviceDialogOpen;
};

// The module's context: system message boxes, language texts, the registry and its port list.
ServiceContext MakeServiceContext(unitlink::UnitLink& link, unitlink::RestoreFileStore& files,
                                  std::string restorePath, std::function<void()> refreshSelection,
                                  std::function<void(bool)> serviceDialogOpen);

// Every value of the system's serial-port map, in the order the registry lists them.
std::vector<std::string> RegistrySerialPorts();

// A section under the link lock: Get() is the link, null when the lock was refused or there is none.
// No link either once the bus is closed: the panel closes it when the unit is lost, and a request a
// dialog's clean-up sent on it would latch a failure that the next panel would meet at its first poll.
class LinkSection {
public:
    explicit LinkSection(unitlink::UnitLink& link)
        : m_guard(link.Lock()), m_jbus(m_guard.owns() ? link.Get() : nullptr) {
        if (m_jbus && m_jbus->GetHandle() == unitlink::kClosedHandle)
            m_jbus = nullptr;
    }
    unitlink::CJbus* Get() const noexcept { return m_jbus; }

private:
    support::LockGuard m_guard;
    unitlink::CJbus* m_jbus;
};

// Rewrites the restore file after a block change, unless the unit reports that it refused one of its
// blocks (its registers then hold the refused values, and the good copy on disk must stay).
unitlink::RestoreSaveResult RefreshRestoreFile(ServiceContext& context);

// The base of the service dialogs: the panel knows one is open for its whole life, and texts are set
// by identifier.
class ServiceDialog : public platform::Dialog {
public:
    ServiceDialog(UINT templateId, HWND parent, ServiceContext& context) noexcept
        : Dialog(templateId, parent), m_context(context) {}

protected:
    BOOL OnInitDialog() override;
    void OnDestroy() override;

    void SetText(int id, UINT textId);
    void SetTitle(UINT textId);
    void SetItem(int id, const std::string& text);
    std::string ItemText(int id) const;
    int Message(UINT textId, UINT flags = MB_OK | MB_ICONEXCLAMATION);
    // Fills a drop-down list with language texts in index order.
    void FillList(int id, std::initializer_list<UINT> textIds);
    int Selection(int id) const;
    void Select(int id, int index);

    ServiceContext& m_context;
    // Cleared by dialogs whose caller tells the panel for a whole run of several dialogs.
    bool m_announce = true;
    bool m_announced = false;
};

} // namespace service
