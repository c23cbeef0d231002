#pragma once
// The window's Writer lookup: the first Writer on the bus (or on the emulated bench), with the
// report lengths the panel sends and receives with.
#include <optional>

#include "ui/main/device_seams.hpp"

namespace writerpanel {

std::optional<mainwin::AttachedWriter> FirstAttachedWriter();

}  // namespace writerpanel
