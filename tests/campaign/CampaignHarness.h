// What the campaign's host drivers take from the live panel tests' harness (each uses only part of it),
// and the host's own message to the panel.
#pragma once

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"
#include "PanelHarness.h"
#pragma GCC diagnostic pop

namespace {

// The host's end of the acquisition, which closes the panel.
constexpr UINT kMsgHostEndAcquisition = WM_USER + 0x25B;

} // namespace
