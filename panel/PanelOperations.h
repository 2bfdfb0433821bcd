// What the panel offers to its pages, to the unit error processing and to the service dialogs: the
// operations that show messages, speak, send commands to the unit and close the panel.
#pragma once

#include <windows.h>

#include <cstdint>

class CPanelOperations {
public:
    virtual ~CPanelOperations() = default;

    // The panel's window: owner of the boxes and dialogs opened on its behalf.
    virtual HWND PanelWindow() const = 0;
    // Message pair n (unit line) / n + 1 (panel display); false when the panel already shows it.
    virtual bool ShowMessage(UINT id) = 0;
    // Code display and the unit's code field: kind 1 "I%.2d", other kinds "E%.2d"; number 0 clears.
    virtual void ShowInfoCode(int number, int kind) = 0;
    // 39 characters in the unit's display character table to the unit's text area (or the host's).
    virtual bool SendUnitText(const char* text, bool hostArea) = 0;
    // A voice prompt of the language library, only while the voice switch is on.
    virtual void PlayVoicePrompt(UINT id) = 0;
    // Writes command code (high byte 0) under the link lock; on success refreshes the selection.
    virtual bool SendCommand(uint8_t code) = 0;
    // The program select word of (first, second) under the link lock; on success refreshes.
    virtual bool SendSelectCommand(int first, int second) = 0;
    // Re-reads the whole selection from the unit and lights the panel and its pages from it.
    virtual void RefreshSelection() = 0;
    // Ends the modal panel with this result.
    virtual void ClosePanel(int result) = 0;
    // True while a service dialog of the menu runs (the foreground handshake then sends nothing).
    virtual bool ServiceDialogOpen() const = 0;
};
