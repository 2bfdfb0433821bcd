// CPage3, the parameter page (161): kV, mA and time keys that step the unit's set points (time keys in
// cephalometric work only), the memory key, the four value displays and the user warnings.
#pragma once

#include "selection/Pages.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Window;
}

class CPage3 : public CSelectionPage {
public:
    explicit CPage3(CDesignDialog* panel);
    ~CPage3() override;

    // The panel's kV, mA, time and dose texts, shown on the page's displays too.
    void SetValueTexts(const std::string& kv, const std::string& milliAmps, const std::string& time,
                       const std::string& dose);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void Layout();
    void CreateTooltips();
    // One step of a set point: the word to the unit under the lock, the panel refreshed on success.
    void SendStep(uint16_t word);
    void OnMemory();

    std::vector<std::unique_ptr<platform::Window>> m_controls;
    HWND m_tooltip = nullptr;
};
