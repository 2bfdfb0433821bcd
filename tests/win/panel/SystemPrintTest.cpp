// The system information's Print through a real Windows printer: Wine's PostScript driver, with a
// printer whose port the spooler writes into a file. The check script beside this test reads the
// printed text back from that file.
#include "PanelHarness.h"

#include <winspool.h>

#include <fstream>

namespace {

constexpr char kPrinter[] = "Lumen PostScript file";
constexpr char kDriver[] = "Wine PostScript Driver";
constexpr UINT kSystemInformation = 33619;
constexpr int kPrintButton = 24004;
constexpr int kPrinterList = 0x0473; // the print dialog's printer names

// The PostScript driver with our description of the printer, and the printer on LPT1:, a port the
// spooler sends into `unixOutput`; it becomes the default printer, so the print dialog offers it.
bool InstallFilePrinter(const std::string& unixOutput) {
    char folder[MAX_PATH] = {};
    DWORD size = 0;
    if (!::GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof folder,
                                      &size))
        return false;
    const std::string versionFolder = std::string(folder) + "\\3";
    ::CreateDirectoryA(versionFolder.c_str(), nullptr);
    if (!::CopyFileA("Z:" LUMEN_PRINTER_PPD, (versionFolder + "\\LUMENPS.PPD").c_str(), FALSE))
        return false;
    auto text = [](const char* t) { return const_cast<char*>(t); };
    DRIVER_INFO_3A driver{
        3,       text(kDriver), nullptr, text("wineps.drv"), text("LUMENPS.PPD"), text("wineps.drv"),
        nullptr, nullptr,       nullptr, text("RAW")};
    if (!::AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                               APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY))
        return false;
    PRINTER_INFO_2A printer{};
    printer.pPrinterName = text(kPrinter);
    printer.pPortName = text("LPT1:");
    printer.pDriverName = text(kDriver);
    printer.pPrintProcessor = text("WinPrint");
    printer.pDatatype = text("RAW");
    if (HANDLE added = ::AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&printer)))
        ::ClosePrinter(added);
    else if (::GetLastError() != ERROR_PRINTER_ALREADY_EXISTS)
        return false;
    HKEY spooler = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Printing\\Spooler", 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &spooler, nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS set =
        ::RegSetValueExA(spooler, "LPT1:", 0, REG_SZ, reinterpret_cast<const BYTE*>(unixOutput.c_str()),
                         static_cast<DWORD>(unixOutput.size() + 1));
    ::RegCloseKey(spooler);
    return set == ERROR_SUCCESS && ::SetDefaultPrinterA(kPrinter);
}

// A visible dialog of this process holding the given item.
HWND DialogWith(int item) {
    for (HWND wnd = nullptr; (wnd = ::FindWindowExA(nullptr, wnd, nullptr, nullptr)) != nullptr;) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(wnd, &process);
        if (process == ::GetCurrentProcessId() && ::IsWindowVisible(wnd) && ::GetDlgItem(wnd, item))
            return wnd;
    }
    return nullptr;
}

TEST_F(LivePanel, SystemInformationPrintsTheWholeLogOnAWindowsPrinter) {
    const std::string output = LUMEN_PRINT_OUTPUT;
    ::DeleteFileA(("Z:" + output).c_str());
    ASSERT_TRUE(InstallFilePrinter(output)) << ::GetLastError();
    ASSERT_NO_FATAL_FAILURE(Load("2.10"));
    Start(1);
    ASSERT_TRUE(Polls(1));

    // Enough lines for several pages; the last one has no line end and is printed all the same.
    std::string log;
    for (int i = 1; i <= 150; ++i)
        log += std::to_string(i) + ":[];Printed entry " + std::to_string(i) + ";07/12/26 10h00min;f:1\r\n";
    log += "Last entry without a line end";
    std::ofstream(harness::LogPath(), std::ios::binary) << log;
    std::ofstream("Z:" + output + ".log", std::ios::binary) << log; // what the check script expects

    ::PostMessageA(panel, WM_COMMAND, kSystemInformation, 0);
    HWND info = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (info = DialogWith(kPrintButton)) != nullptr; }, 20000));
    ::PostMessageA(info, WM_COMMAND, MAKEWPARAM(kPrintButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(info, kPrintButton)));
    // The print dialog offers the file printer, and OK prints on it; the document is on paper when
    // the spooler has written its end.
    HWND choice = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (choice = DialogWith(kPrinterList)) != nullptr; }, 20000));
    char chosen[128] = {};
    ::GetDlgItemTextA(choice, kPrinterList, chosen, sizeof chosen);
    EXPECT_STREQ(chosen, kPrinter);
    ::PostMessageA(choice, WM_COMMAND, IDOK, 0);
    std::string printed;
    EXPECT_TRUE(WaitFor(
        [&] {
            std::ifstream in("Z:" + output, std::ios::binary);
            printed.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return printed.find("%%EOF") != std::string::npos;
        },
        30000))
        << "nothing reached the printer's port";
    size_t pages = 0;
    for (size_t at = printed.find("\n%%Page: "); at != std::string::npos;
         at = printed.find("\n%%Page: ", at + 1))
        ++pages;
    EXPECT_GE(pages, 3u) << "150 lines take several pages";
    for (const std::string& text : boxes.TakeTexts())
        EXPECT_EQ(text.find("could not be printed"), std::string::npos) << text;

    ::PostMessageA(info, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(info); }, 20000));
}

} // namespace
