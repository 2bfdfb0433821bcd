// The event log on paper: a page-sized bitmap stands for the printer, and each ended page is read
// back as the bands of text rows it carries, so lines, wraps, page breaks and margins are checked on
// what was drawn; a printer that fails to end a page has the document abandoned.
#include "about/PrintLog.h"

#include <gtest/gtest.h>

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
        HDC screen = ::GetDC(nullptr);
        m_dc = ::CreateCompatibleDC(screen);
        m_width = ::GetDeviceCaps(m_dc, HORZRES);
        m_height = ::GetDeviceCaps(m_dc, VERTRES);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), m_width, -m_height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        m_bitmap =
            ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
        ::ReleaseDC(nullptr, screen);
        m_old = ::SelectObject(m_dc, m_bitmap);
    }
    ~BitmapPrinter() override {
        ::SelectObject(m_dc, m_old);
        ::DeleteObject(m_bitmap);
        ::DeleteDC(m_dc);
    }
    HDC Dc() override { return m_dc; }
    bool StartDoc(const char* name) override {
        documentName = name;
        return true;
    }
    bool StartPage() override {
        ++pagesStarted;
        std::fill(m_bits, m_bits + static_cast<size_t>(m_width) * m_height, 0x00FFFFFFu);
        return true;
    }
    bool EndPage() override {
        ::GdiFlush();
        if (failEndingPage == static_cast<int>(pages.size()) + 1)
            return false;
        Page page;
        bool inBand = false;
        for (int y = 0; y < m_height; ++y) {
            bool ink = false;
            for (int x = 0; x < m_width && !ink; ++x)
                ink = (m_bits[static_cast<size_t>(y) * m_width + x] & 0xFFFFFF) != 0xFFFFFF;
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

    int height() const { return m_height; }

    std::string documentName;
    std::vector<Page> pages;
    int pagesStarted = 0, ended = 0, aborted = 0;
    int failEndingPage = 0; // 1-based; 0 never fails

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    uint32_t* m_bits = nullptr;
    int m_width = 0, m_height = 0;
};

// Lines of capitals and digits: each one prints as exactly one band of ink.
std::string Numbered(int count, const char* end = "\r\n") {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "LINE " + std::to_string(i) + end;
    return text;
}

size_t BandCount(const std::vector<Page>& pages) {
    size_t n = 0;
    for (const Page& page : pages)
        n += page.size();
    return n;
}

TEST(PrintLog, LinesBecomeOneBandEachAndAnEmptyLogIsOneEmptyPage) {
    const struct {
        const char* name;
        std::string text;
        size_t bands;
    } cases[] = {
        {"empty log", "", 0},
        {"only line ends", "\r\n\r\n\r\n", 0},
        {"last line without end", "FIRST\r\nSECOND\r\nLAST", 3},
        {"bare CR and LF", "ONE\rTWO\nTHREE", 3},
    };
    for (const auto& c : cases) {
        BitmapPrinter printer;
        EXPECT_EQ(about::PrintText(printer, c.text), about::PrintResult::Printed) << c.name;
        EXPECT_EQ(printer.documentName, "HalvexPan");
        ASSERT_EQ(printer.pages.size(), 1u) << c.name;
        EXPECT_EQ(printer.pages[0].size(), c.bands) << c.name;
        EXPECT_EQ(printer.ended, 1);
    }
}

TEST(PrintLog, EmptyLinesKeepTheirPlace) {
    BitmapPrinter packed, spaced;
    about::PrintText(packed, "A\r\nB");
    about::PrintText(spaced, "A\r\n\r\n\r\nB");
    ASSERT_EQ(packed.pages.at(0).size(), 2u);
    ASSERT_EQ(spaced.pages.at(0).size(), 2u);
    const int step = packed.pages[0][1].top - packed.pages[0][0].top;
    EXPECT_EQ(spaced.pages[0][1].top - spaced.pages[0][0].top, 3 * step) << "two empty lines between";
}

TEST(PrintLog, ALongLogContinuesOnFurtherPagesWithTheSameMargins) {
    BitmapPrinter printer;
    const int lines = 300;
    EXPECT_EQ(about::PrintText(printer, Numbered(lines)), about::PrintResult::Printed);
    ASSERT_GE(printer.pages.size(), 3u);
    EXPECT_EQ(BandCount(printer.pages), static_cast<size_t>(lines)) << "no line lost at a page break";
    const int top = printer.pages[0].front().top;
    const int step = printer.pages[0][1].top - printer.pages[0][0].top;
    for (size_t p = 0; p < printer.pages.size(); ++p) {
        EXPECT_EQ(printer.pages[p].front().top, top) << "page " << p;
        const Band& last = printer.pages[p].back();
        EXPECT_LE(last.top + last.height, printer.height() - 2 * step)
            << "page " << p << " keeps its bottom margin";
    }
}

TEST(PrintLog, AWrappedLineAdvancesByItsWrappedHeight) {
    std::string longLine;
    for (int i = 0; i < 120; ++i)
        longLine += "WORD ";
    BitmapPrinter printer;
    about::PrintText(printer, "BEFORE\r\n" + longLine + "\r\nAFTER");
    ASSERT_EQ(printer.pages.size(), 1u);
    const Page& page = printer.pages[0];
    ASSERT_GE(page.size(), 4u) << "the long line wraps over two printed lines or more";
    const int step = page[1].top - page[0].top;
    for (size_t i = 1; i < page.size(); ++i)
        EXPECT_EQ(page[i].top - page[i - 1].top, step) << "band " << i << ": wrapped rows follow as lines do";
}

TEST(PrintLog, APageThatCannotBeEndedAbandonsTheDocument) {
    BitmapPrinter printer;
    printer.failEndingPage = 2;
    EXPECT_EQ(about::PrintText(printer, Numbered(300)), about::PrintResult::Abandoned);
    EXPECT_EQ(printer.pages.size(), 1u);
    EXPECT_EQ(printer.pagesStarted, 2) << "nothing is printed after the failure";
    EXPECT_EQ(printer.aborted, 1);
    EXPECT_EQ(printer.ended, 0);

    BitmapPrinter last;
    last.failEndingPage = 1;
    EXPECT_EQ(about::PrintText(last, "ONLY"), about::PrintResult::Abandoned) << "the last page too";
    EXPECT_EQ(last.aborted, 1);
    EXPECT_EQ(last.ended, 0);
}

} // namespace
