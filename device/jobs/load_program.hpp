#pragma once
// The programming run of the command-line dialog (qubrix-tool load): one file's raw bytes into the
// target through the first programmer, unit by unit, with the dialog's log texts. The texts carry
// their own line breaks; the one that announces an erase has none, so the next continues its line.
#include <string>

#include "device/jobs/sink.hpp"
#include "firmware/catalogue.hpp"

namespace usbjobs {

// The dialog's log takes the texts as they come (onLog, with their own line breaks) and its bar the
// percentage (onProgress).
class LoadRunSink : public virtual base::Reporter {};

// The model is looked up by name in `catalogue`. Success when every unit was written and the
// session closed; the log ends with "done." whenever the programmer was connected.
base::Outcome runLoadProgram(const firmware::McuList& catalogue, const std::string& modelName, const std::string& file,
                       LoadRunSink& sink);

// The dialog's line for a name the catalogue does not know.
std::string invalidModelText(const std::string& modelName);

}  // namespace usbjobs
