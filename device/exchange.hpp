#pragma once
// One request/reply exchange: write the request, read with the command's time-out, apply its
// reply check. Every handle's command goes through here.
#include <optional>

#include "device/commands.hpp"
#include "device/interface.hpp"

namespace qx {

// The reply when it is accepted. Nothing for an empty reply (closed transport), for a status the
// check turns into a false result, and for another echoed id where the command takes that as no
// answer; any other echoed id raises DeviceException "expected <name>", refused statuses raise
// CommandException.
std::optional<Bytes> exchange(Interface* link, const CommandSpec& spec, const Bytes& request);

}  // namespace qx
