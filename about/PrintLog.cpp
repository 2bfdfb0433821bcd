// The event log on paper.
#include "about/PrintLog.h"

#include "about/AboutText.h"

#include <vector>

namespace about {

namespace {

constexpr UINT kDrawFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
constexpr int kMarginLines = 3;

} // namespace

bool PrinterDcTarget::StartDoc(const char* name) {
    DOCINFOA document{};
    document.cbSize = sizeof document;
    document.lpszDocName = name;
    return ::StartDocA(m_dc, &document) > 0;
}

PrintResult PrintText(PrintTarget& target, std::string_view text) {
    HDC dc = target.Dc();
    if (!dc || !target.StartDoc(kPrintDocumentName))
        return PrintResult::NotStarted;

    SIZE sample{};
    ::GetTextExtentPoint32A(dc, "Ap", 2, &sample);
    const int lineHeight = sample.cy + ::GetTextCharacterExtra(dc);
    const RECT page{kMarginLines * sample.cx, kMarginLines * lineHeight,
                    ::GetDeviceCaps(dc, HORZRES) - kMarginLines * sample.cx,
                    ::GetDeviceCaps(dc, VERTRES) - kMarginLines * lineHeight};

    const std::vector<std::string_view> lines = SplitPrintLines(text);
    std::vector<int> heights;
    heights.reserve(lines.size());
    for (std::string_view line : lines) {
        RECT measure = page;
        const int height = line.empty() ? lineHeight
                                        : ::DrawTextA(dc, line.data(), static_cast<int>(line.size()),
                                                      &measure, kDrawFormat | DT_CALCRECT);
        heights.push_back(height);
    }
    const std::vector<LinePlacement> placements = PlaceLines(heights, lineHeight, page.top, page.bottom);

    if (!target.StartPage()) {
        target.AbortDoc();
        return PrintResult::Abandoned;
    }
    int pageIndex = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (placements[i].page != pageIndex) {
            if (!target.EndPage() || !target.StartPage()) {
                target.AbortDoc();
                return PrintResult::Abandoned;
            }
            pageIndex = placements[i].page;
        }
        if (lines[i].empty())
            continue;
        RECT where = page;
        where.top = placements[i].top;
        ::DrawTextA(dc, lines[i].data(), static_cast<int>(lines[i].size()), &where, kDrawFormat);
    }
    if (!target.EndPage()) {
        target.AbortDoc();
        return PrintResult::Abandoned;
    }
    return target.EndDoc() ? PrintResult::Printed : PrintResult::Abandoned;
}

} // namespace about
