// TStackedDialog: a dialog that hosts several child dialogs (TStackedPage) in one place of its
// surface and shows one at a time; it also carries the start-up handshake events of the panel.
#pragma once

#include "platform/Dialog.h"
#include "platform/Handle.h"

#include <cstdint>
#include <list>
#include <memory>

class TStackedDialog;

// The panel's private message for "cancel" coming from a page.
inline constexpr UINT kMsgPageCancel = WM_USER + 0x25F; // 0x65F

class TStackedPage : public platform::Dialog {
public:
    TStackedPage(UINT templateId, HWND parent) : platform::Dialog(templateId, parent) {}

    virtual void OnSetActive() {}
    virtual void OnKillActive() {}
    virtual void OnCreatePage() {}
    virtual void OnDestroyPage() {}

protected:
    BOOL OnInitDialog() override;
    // Enter on a page does nothing; Escape goes to the panel as its own cancel.
    void OnOK() override {}
    void OnCancel() override;
};

struct TStackedPageEntry {
    int32_t created = 0;
    int32_t active = 0;
    uint32_t id = 0;
    TStackedPage* page = nullptr; // owned while created
    TStackedDialog* owner = nullptr;
    uint32_t user1 = 0, user2 = 0, user3 = 0;
};

class TStackedDialog : public platform::Dialog {
public:
    TStackedDialog(UINT placeholderId, UINT templateId, HWND parent);
    // Normally the window's destruction has already destroyed every page and emptied the list. A
    // container whose window never got WM_DESTROY (never created, or its object dropped first) still
    // owns the page objects of its created entries: they are deleted here, without the page
    // notifications, rather than leaked; their windows go with the container's window.
    ~TStackedDialog() override;

    // A new, not yet created page object for a template identifier; null for an unknown one.
    virtual TStackedPage* CreatePage(UINT id) = 0;
    // After a page was shown (activated 1) or hidden (0).
    virtual void OnPageChanged(UINT id, int activated) = 0;

    TStackedPageEntry* AddPage(UINT id, uint32_t user1 = 0, uint32_t user2 = 0, uint32_t user3 = 0);
    // Shows the page with this identifier, hiding the current one; 0 when no entry has it.
    int SetPage(UINT id);
    TStackedPageEntry* GetPage(UINT id);
    size_t PageCount() const noexcept { return m_pages.size(); }

    HANDLE InitialisedEvent() const noexcept { return m_initialisedEvent.Get(); }
    HANDLE ReleaseEvent() const noexcept { return m_releaseEvent.Get(); }

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void DestroyPages();

    UINT m_placeholderId;
    std::list<std::unique_ptr<TStackedPageEntry>> m_pages;
    platform::UniqueKernelHandle m_initialisedEvent;
    platform::UniqueKernelHandle m_releaseEvent;
};
