// The event log on paper: a page-sized bitmap stands for the printer, and each ended page is read
// back as the bands of text rows it carries, so lines, wraps, page breaks and margins are checked on
// what was drawn; a printer that fails to end a page has the document abandoned.
#include "about/PrintLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// One printed page: the top and height of each band of rows holding ink.
struct Band {
    int top, height;
};
using Page = std::vector<Band>;

class BitmapPrinter : public about::PrintTarget {
public:
    BitmapPrinter() {
        width = ::GetDeviceCaps(dc, HORZRES);
        height = ::GetDeviceCaps(dc, VERTRES);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        old = ::SelectObject(dc, bitmap);
    }
    ~BitmapPrinter() override {
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    }
    HDC Dc() override { return dc; }
    bool StartDoc(const char* name) override { return documentName = name, true; }
    bool StartPage() override {
        ++pagesStarted;
        std::fill(bits, bits + static_cast<size_t>(width) * height, 0x00FFFFFFu);
        return true;
    }
    bool EndPage() override {
        ::GdiFlush();
        if (failEndingPage == static_cast<int>(pages.size()) + 1)
            return false;
        Page page;
        for (int y = 0, inBand = 0; y < height; ++y) {
            const bool ink = std::any_of(bits + static_cast<size_t>(y) * width, bits + static_cast<size_t>(y + 1) * width,
                                         [](uint32_t pixel) { return (pixel & 0xFFFFFF) != 0xFFFFFF; });
            if (ink && !inBand)
                page.push_back({y, 0});
            if (ink)
                page.back().height = y - page.back().top + 1;
            inBand = ink;
        }
        pages.push_back(page);
        return true;
    }
    bool EndDoc() override { return ++ended, true; }
    void AbortDoc() override { ++aborted; }

    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
    int width = 0, height = 0;
    std::string documentName;
    std::vector<Page> pages;
    int pagesStarted = 0, ended = 0, aborted = 0;
    int failEndingPage = 0; // 1-based; 0 never fails
};

// Lines of capitals and digits: each one prints as exactly one band of ink.
std::string Numbered(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "LINE " + std::to_string(i) + "\r\n";
    return text;
}

// A long log with a line wrapped over several printed lines: the wrapped rows follow as lines do, and
// every page starts at the same top margin and keeps its bottom margin.
TEST(PrintLog, ALongLogWithAWrappedLineKeepsItsMarginsOnEveryPage) {
    std::string longLine;
    for (int i = 0; i < 120; ++i)
        longLine += "WORD ";
    BitmapPrinter printer;
    EXPECT_EQ(about::PrintText(printer, "BEFORE\r\n" + longLine + "\r\n" + Numbered(300)), about::PrintResult::Printed);
    ASSERT_GE(printer.pages.size(), 3u);
    EXPECT_EQ(printer.ended, 1);
    const Page& first = printer.pages[0];
    ASSERT_GE(first.size(), 4u) << "the long line wraps over two printed lines or more";
    const int step = first[1].top - first[0].top;
    size_t bands = 0;
    for (size_t p = 0; p < printer.pages.size(); ++p) {
        const Page& page = printer.pages[p];
        bands += page.size();
        EXPECT_EQ(page.front().top, first.front().top) << "page " << p;
        for (size_t i = 1; i < page.size(); ++i)
            EXPECT_EQ(page[i].top - page[i - 1].top, step) << "page " << p << " band " << i;
        EXPECT_LE(page.back().top + page.back().height, printer.height - 2 * step) << "page " << p;
    }
    EXPECT_GE(bands, 303u) << "no line lost at a page break";
}

// An empty log is one empty page; a page that cannot be ended, the last one too, abandons the document.
TEST(PrintLog, AnEmptyLogIsOneEmptyPageAndAPageThatCannotBeEndedAbandonsTheDocument) {
    BitmapPrinter empty;
    EXPECT_EQ(about::PrintText(empty, "\r\n\r\n"), about::PrintResult::Printed);
    EXPECT_EQ(empty.documentName, "HalvexPan");
    ASSERT_EQ(empty.pages.size(), 1u);
    EXPECT_TRUE(empty.pages[0].empty());
    for (int failing : {2, 1}) {
        BitmapPrinter printer;
        printer.failEndingPage = failing;
        EXPECT_EQ(about::PrintText(printer, Numbered(failing == 1 ? 1 : 300)), about::PrintResult::Abandoned);
        EXPECT_EQ(printer.pagesStarted, failing) << "nothing is printed after the failure";
        EXPECT_EQ(printer.aborted, 1);
        EXPECT_EQ(printer.ended, 0);
    }
}

} // namespace
