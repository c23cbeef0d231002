#pragma once
// The Writer panel's inputs as options, shared by pack and writer download: --key, --limit,
// --user-code and --writer-id, each read as the panel's edit takes it.
#include <optional>
#include <string>

#include "app/cli/args.hpp"
#include "firmware/production/settings.hpp"

namespace cli {

// Applies the options that were given on top of `settings`; a message when one cannot be typed
// into the panel (the user-code range message for a user code above the maximum).
std::optional<std::string> ReadProductionOptions(const Args& args, production::ProductionSettings& settings);

// True when any of the four options was given.
bool HasProductionOptions(const Args& args);

}  // namespace cli
