// The unit error processing: a latched error is logged, shown on the panel and on the unit, handled
// with the dialog or box that fits its code, and the latch is cleared.
#pragma once

class CPanelOperations;

namespace support {

// Runs on the panel's GUI thread from its polling step; never holds the link lock across a box.
void ProcessUnitError(CPanelOperations& panel);

} // namespace support
