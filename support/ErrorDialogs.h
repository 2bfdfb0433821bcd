// The dialogs of the unit error processing (set-point error, damaged data block) and the viewer of
// the unit information file.
#pragma once

#include "platform/Dialog.h"
#include "support/UnitErrorHandling.h"

#include <string>

// A set point the unit could not hold (code 1) or its damaged set-point table (code 55); OK
// acknowledges the error at the unit.
class CErrConsigne : public platform::Dialog {
public:
    CErrConsigne(HWND parent, int code, unitlink::UnitLink& link);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    int m_code;
    unitlink::UnitLink& m_link;
};

// A damaged data block (54 calibration table, 56 factory settings, 57 preferences). Ends with 0 when
// the panel may stay open (Restore, Retry, a successful Reinit), non-zero otherwise.
class CErrEtalFab : public platform::Dialog {
public:
    CErrEtalFab(HWND parent, int code, support::UnitErrorServices& services);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void OnRestore();
    void OnRetry();
    void OnReinit();

    int m_code;
    support::UnitErrorServices& m_services;
};

// The unit information file in a read-only edit; empty when the file cannot be read.
class CDetailsDialog : public platform::Dialog {
public:
    CDetailsDialog(HWND parent, std::string infoPath);

protected:
    BOOL OnInitDialog() override;

private:
    std::string m_infoPath;
};
