#pragma once
// The touch panel's power button: reads whether the target is powered and switches it over.
#include <memory>

#include "base/report.hpp"
#include "touch/usb_transport.hpp"

namespace touch {

// `session` is the handle of a running touch session, used as it is (the button must not close the
// session's programmer); without one the programmer is found, opened and closed again. Returns
// true when the button is to offer "Power ON" afterwards, that is after switching off.
bool togglePower(const ToolFinder& finder, const std::shared_ptr<qx::TouchDebug>& session, base::Reporter& log);

}  // namespace touch
