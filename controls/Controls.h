// The skinned control family in one include.
#pragma once

#include "controls/BackWnd.h"
#include "controls/Buttons.h"
#include "controls/Displays.h"
#include "controls/RegionFromMask.h"
#include "controls/StateControls.h"
#include "controls/StaticPreview.h"
