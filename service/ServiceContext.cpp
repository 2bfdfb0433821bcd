// The service dialogs' context: the module's services, the lock section and the dialog base.
#include "service/ServiceContext.h"

#include "platform/Module.h"
#include "support/UnitErrors.h"
#include "support/WinRegistry.h"

namespace service {

std::vector<std::string> RegistrySerialPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\SerialComm", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[256] = {};
        DWORD dataSize = sizeof data - 1; // room for a terminator the registry may omit
        DWORD type = 0;
        const LONG result = ::RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (result == ERROR_MORE_DATA)
            continue; // a name or port beyond any real one: skip it
        if (result != ERROR_SUCCESS)
            break;
        if (type == REG_SZ && data[0])
            ports.emplace_back(reinterpret_cast<const char*>(data));
    }
    ::RegCloseKey(key);
    return ports;
}

ServiceContext MakeServiceContext(unitlink::UnitLink& link, unitlink::RestoreFileStore& files,
                                  std::string restorePath, std::function<void()> refreshSelection,
                                  std::function<void(bool)> serviceDialogOpen) {
    return ServiceContext{
        link,
        files,
        std::move(restorePath),
        support::SystemRegistry(),
        [](HWND owner, UINT textId, UINT flags) { return platform::MessageBoxId(owner, textId, flags); },
        [](UINT textId) { return platform::LoadText(textId); },
        [](UINT id) {
            char text[256] = {};
            ::LoadStringA(platform::ResourceModule(), id, text, sizeof text);
            return std::string(text);
        },
        &RegistrySerialPorts,
        std::move(refreshSelection),
        std::move(serviceDialogOpen)};
}

unitlink::RestoreSaveResult RefreshRestoreFile(ServiceContext& context) {
    {
        LinkSection section(context.link);
        uint16_t error = 0;
        if (!section.Get() || !section.Get()->ReadUnitError(&error))
            return unitlink::RestoreSaveResult::UnitReadFailed;
        if (support::DataBlockFor(error))
            return unitlink::RestoreSaveResult::UnitReadFailed;
    }
    LinkSection section(context.link);
    return unitlink::SaveRestoreFile(section.Get(), context.link.Lock(), context.files, context.restorePath);
}

BOOL ServiceDialog::OnInitDialog() {
    if (m_announce && m_context.serviceDialogOpen) {
        m_context.serviceDialogOpen(true);
        m_announced = true;
    }
    return TRUE;
}

void ServiceDialog::OnDestroy() {
    if (m_announced && m_context.serviceDialogOpen)
        m_context.serviceDialogOpen(false);
    m_announced = false;
}

void ServiceDialog::SetText(int id, UINT textId) {
    SetItem(id, m_context.text(textId));
}

void ServiceDialog::SetTitle(UINT textId) {
    ::SetWindowTextA(GetHwnd(), m_context.text(textId).c_str());
}

void ServiceDialog::SetItem(int id, const std::string& text) {
    ::SetDlgItemTextA(GetHwnd(), id, text.c_str());
}

std::string ServiceDialog::ItemText(int id) const {
    HWND item = GetItem(id);
    const int length = ::GetWindowTextLengthA(item);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    const int copied = ::GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

int ServiceDialog::Message(UINT textId, UINT flags) {
    return m_context.messageBox(GetHwnd(), textId, flags);
}

void ServiceDialog::FillList(int id, std::initializer_list<UINT> textIds) {
    HWND list = GetItem(id);
    ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (UINT textId : textIds)
        ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_context.text(textId).c_str()));
}

int ServiceDialog::Selection(int id) const {
    return static_cast<int>(::SendMessageA(GetItem(id), CB_GETCURSEL, 0, 0));
}

void ServiceDialog::Select(int id, int index) {
    ::SendMessageA(GetItem(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

} // namespace service
