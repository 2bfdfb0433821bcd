// The stacked pages container: pages added hidden at the marker, one shown at a time with the
// notifications in order, Escape on a page handed to the container, pages destroyed with the window.
#include "platform/Module.h"
#include "selection/StackedDialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kContainer = 100, kMarker = 10, kPageA = 200, kPageB = 201;

std::vector<std::string> g_events;
// The page's own visibility (the container itself is never shown in these tests).
bool Shown(HWND wnd) {
    return (::GetWindowLongPtrA(wnd, GWL_STYLE) & WS_VISIBLE) != 0;
}
void Note(const std::string& what, UINT id) {
    g_events.push_back(what + " " + std::to_string(id));
}

class RecordingPage : public TStackedPage {
public:
    RecordingPage(UINT id, HWND parent) : TStackedPage(id, parent), m_id(id) {}
    ~RecordingPage() override { Note("deleted", m_id); }
    void OnSetActive() override { Note("set", m_id); }
    void OnKillActive() override { Note("kill", m_id); }
    void OnCreatePage() override { Note("create", m_id); }
    void OnDestroyPage() override { Note("destroy", m_id); }

private:
    UINT m_id;
};

class Container : public TStackedDialog {
public:
    Container() : TStackedDialog(kMarker, kContainer, nullptr) {}
    TStackedPage* CreatePage(UINT id) override { return new RecordingPage(id, GetHwnd()); }
    void OnPageChanged(UINT id, int activated) override { Note(activated ? "shown" : "hidden", id); }
    int cancels = 0;

protected:
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kMsgPageCancel)
            ++cancels;
        return TStackedDialog::DialogProc(msg, wParam, lParam);
    }
};

class StackedContainer : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetResourceModule(::GetModuleHandleA(nullptr));
        g_events.clear();
        // The start function has already taken the handle: initialisation does not wait.
        ::SetEvent(container.ReleaseEvent());
        ASSERT_NE(container.CreateModeless(), nullptr);
    }
    std::vector<std::string> Take() {
        std::vector<std::string> events;
        events.swap(g_events);
        return events;
    }
    HWND PageWindow(UINT id) {
        TStackedPageEntry* entry = container.GetPage(id);
        return entry && entry->page ? entry->page->GetHwnd() : nullptr;
    }
    Container container;
};

TEST_F(StackedContainer, InitialisationSignalsAndOpensKeyboardNavigation) {
    EXPECT_EQ(::WaitForSingleObject(container.InitialisedEvent(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(::GetWindowLongPtrA(container.GetHwnd(), GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
}

TEST_F(StackedContainer, AddedPagesWaitHiddenAtTheMarker) {
    TStackedPageEntry* a = container.AddPage(kPageA, 7, 8, 9);
    container.AddPage(kPageB);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Take(), (std::vector<std::string>{"create 200", "create 201"}));
    EXPECT_EQ(container.PageCount(), 2u);
    EXPECT_EQ(a->created, 1);
    EXPECT_EQ(a->active, 0);
    EXPECT_EQ(a->owner, &container);
    EXPECT_EQ((std::vector<uint32_t>{a->user1, a->user2, a->user3}), (std::vector<uint32_t>{7, 8, 9}));

    RECT marker{};
    ::GetWindowRect(::GetDlgItem(container.GetHwnd(), kMarker), &marker);
    for (UINT id : {kPageA, kPageB}) {
        HWND page = PageWindow(id);
        ASSERT_NE(page, nullptr);
        EXPECT_FALSE(Shown(page)) << id;
        EXPECT_TRUE(::IsWindowEnabled(page)) << id;
        RECT r{};
        ::GetWindowRect(page, &r);
        EXPECT_EQ(r.left, marker.left) << id;
        EXPECT_EQ(r.top, marker.top) << id;
    }
    EXPECT_EQ(container.GetPage(999), nullptr);
}

TEST_F(StackedContainer, SetPageShowsOneAtATimeWithItsNotifications) {
    container.AddPage(kPageA);
    container.AddPage(kPageB);
    Take();
    const struct {
        UINT id;
        int result;
        std::vector<std::string> events;
        HWND visible;
    } steps[] = {
        {kPageA, 1, {"set 200", "shown 200"}, PageWindow(kPageA)},
        // The page already shown is hidden and shown again.
        {kPageA, 1, {"kill 200", "hidden 200", "set 200", "shown 200"}, PageWindow(kPageA)},
        {kPageB, 1, {"kill 200", "hidden 200", "set 201", "shown 201"}, PageWindow(kPageB)},
        // An unknown page hides the current one and shows none.
        {999, 0, {"kill 201", "hidden 201"}, nullptr},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(container.SetPage(step.id), step.result) << step.id;
        EXPECT_EQ(Take(), step.events) << step.id;
        for (UINT id : {kPageA, kPageB}) {
            EXPECT_EQ(Shown(PageWindow(id)), PageWindow(id) == step.visible) << step.id;
            EXPECT_EQ(container.GetPage(id)->active, PageWindow(id) == step.visible ? 1 : 0) << step.id;
        }
    }
}

TEST_F(StackedContainer, EscapeOnAPageGoesToTheContainer) {
    container.AddPage(kPageA);
    container.SetPage(kPageA);
    ::SendMessageA(PageWindow(kPageA), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(container.cancels, 1);
    EXPECT_TRUE(::IsWindow(PageWindow(kPageA))) << "the page stays";
    ::SendMessageA(PageWindow(kPageA), WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(::IsWindow(PageWindow(kPageA))) << "Enter does nothing";
}

TEST_F(StackedContainer, DestroyingTheWindowDestroysEveryPageInOrder) {
    container.AddPage(kPageA);
    container.AddPage(kPageB);
    container.SetPage(kPageB);
    HWND a = PageWindow(kPageA), b = PageWindow(kPageB);
    Take();
    ::DestroyWindow(container.GetHwnd());
    EXPECT_EQ(Take(), (std::vector<std::string>{"kill 200", "destroy 200", "deleted 200", "kill 201",
                                                "destroy 201", "deleted 201"}));
    EXPECT_FALSE(::IsWindow(a));
    EXPECT_FALSE(::IsWindow(b));
    EXPECT_EQ(container.PageCount(), 0u);
    EXPECT_EQ(container.GetPage(kPageA), nullptr);
}

} // namespace
