// The manufacturing settings (the unit's factory-settings block) and the unit's life counters.
#pragma once

#include "link/DataBlocks.h"
#include "service/ServiceContext.h"

class CFabricationDialog : public service::ServiceDialog {
public:
    CFabricationDialog(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void Show(const unitlink::FactorySettingsBlock& block);
    void OnSave();
    void OnDefault();
};

class CGeneralDialog : public service::ServiceDialog {
public:
    CGeneralDialog(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;
};
