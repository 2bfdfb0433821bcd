// Printing the event log's text: margins from the printer's font, lines cut at their ends, wrapped
// lines measured, pages ended as they fill; the document abandoned when a page cannot be ended.
#pragma once

#include <windows.h>

#include <string_view>

namespace about {

// The printer as the log printing sees it; tests give a device of their own.
class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    virtual HDC Dc() = 0;
    virtual bool StartDoc(const char* name) = 0;
    virtual bool StartPage() = 0;
    virtual bool EndPage() = 0;
    virtual bool EndDoc() = 0;
    virtual void AbortDoc() = 0;
};

inline constexpr char kPrintDocumentName[] = "HalvexPan";

enum class PrintResult { Printed, NotStarted, Abandoned };

// Prints text as one document; an empty text prints one empty page.
PrintResult PrintText(PrintTarget& target, std::string_view text);

// A printer chosen in the system's print dialog.
class PrinterDcTarget : public PrintTarget {
public:
    explicit PrinterDcTarget(HDC dc) noexcept : m_dc(dc) {}
    HDC Dc() override { return m_dc; }
    bool StartDoc(const char* name) override;
    bool StartPage() override { return ::StartPage(m_dc) > 0; }
    bool EndPage() override { return ::EndPage(m_dc) > 0; }
    bool EndDoc() override { return ::EndDoc(m_dc) > 0; }
    void AbortDoc() override { ::AbortDoc(m_dc); }

private:
    HDC m_dc;
};

} // namespace about
