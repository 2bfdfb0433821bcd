// The stacked pages container and its start-up handshake.
#include "selection/StackedDialog.h"

namespace {
// The start function has up to this long to take the panel's handle before initialisation goes on.
constexpr DWORD kReleaseWaitMs = 1000;
} // namespace

BOOL TStackedPage::OnInitDialog() {
    platform::Dialog::OnInitDialog();
    return TRUE;
}

void TStackedPage::OnCancel() {
    HWND owner = ::GetParent(GetHwnd());
    if (owner)
        ::SendMessageA(owner, kMsgPageCancel, 0, 0);
}

TStackedDialog::TStackedDialog(UINT placeholderId, UINT templateId, HWND parent)
    : platform::Dialog(templateId, parent), m_placeholderId(placeholderId),
      m_initialisedEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_releaseEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

TStackedDialog::~TStackedDialog() {
    // Pages are destroyed with the window; entries left here no longer own a live page.
    for (auto& entry : m_pages) {
        if (entry->created)
            delete entry->page;
    }
    m_pages.clear();
}

TStackedPageEntry* TStackedDialog::AddPage(UINT id, uint32_t user1, uint32_t user2, uint32_t user3) {
    auto entry = std::make_unique<TStackedPageEntry>();
    entry->id = id;
    entry->user1 = user1;
    entry->user2 = user2;
    entry->user3 = user3;
    entry->owner = this;
    TStackedPageEntry* e = entry.get();
    m_pages.push_back(std::move(entry));

    e->page = CreatePage(id);
    if (!e->page)
        return e; // a caller error: the factory must know every identifier it is given
    e->page->SetParentWnd(GetHwnd());
    HWND pageWnd = e->page->CreateModeless();
    if (!pageWnd) {
        delete e->page;
        e->page = nullptr;
        return e;
    }
    RECT place{};
    if (HWND marker = GetItem(static_cast<int>(m_placeholderId))) {
        ::GetWindowRect(marker, &place);
        ::MapWindowPoints(nullptr, GetHwnd(), reinterpret_cast<POINT*>(&place), 2);
    }
    ::SetWindowPos(pageWnd, nullptr, place.left, place.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::EnableWindow(pageWnd, TRUE);
    e->page->OnCreatePage();
    e->created = 1;
    return e;
}

int TStackedDialog::SetPage(UINT id) {
    TStackedPageEntry* match = nullptr;
    TStackedPageEntry* active = nullptr;
    for (auto& entry : m_pages) {
        if (!match && entry->id == id)
            match = entry.get();
        if (!active && entry->active)
            active = entry.get();
    }
    // The active page is hidden even when it is the one asked for: it is then shown again.
    if (active) {
        if (active->page) {
            active->page->OnKillActive();
            ::ShowWindow(active->page->GetHwnd(), SW_HIDE);
        }
        active->active = 0;
        OnPageChanged(active->id, 0);
    }
    if (!match || !match->page)
        return 0;
    HWND wnd = match->page->GetHwnd();
    ::ShowWindow(wnd, SW_SHOW);
    ::InvalidateRect(wnd, nullptr, TRUE);
    ::UpdateWindow(wnd);
    match->page->OnSetActive();
    match->active = 1;
    OnPageChanged(match->id, 1);
    return 1;
}

TStackedPageEntry* TStackedDialog::GetPage(UINT id) {
    for (auto& entry : m_pages)
        if (entry->id == id)
            return entry.get();
    return nullptr;
}

void TStackedDialog::DestroyPages() {
    for (auto& entry : m_pages) {
        if (!entry->created)
            continue;
        entry->created = 0;
        TStackedPage* page = entry->page;
        entry->page = nullptr;
        if (page) {
            page->OnKillActive();
            page->OnDestroyPage();
            page->Destroy();
            delete page;
        }
    }
    m_pages.clear();
}

BOOL TStackedDialog::OnInitDialog() {
    platform::Dialog::OnInitDialog();
    // Keyboard navigation enters the child pages.
    LONG_PTR ex = ::GetWindowLongPtrA(GetHwnd(), GWL_EXSTYLE);
    ::SetWindowLongPtrA(GetHwnd(), GWL_EXSTYLE, ex | WS_EX_CONTROLPARENT);
    ::SetEvent(m_initialisedEvent.Get());
    ::WaitForSingleObject(m_releaseEvent.Get(), kReleaseWaitMs);
    return TRUE;
}

INT_PTR TStackedDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY)
        DestroyPages();
    return platform::Dialog::DialogProc(msg, wParam, lParam);
}
