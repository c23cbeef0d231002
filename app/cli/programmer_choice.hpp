#pragma once
// Which programmer a verb uses: the one named by --serial, else the only one attached. With several
// attached and no --serial, or a --serial that is not attached, the verb stops with a message that
// lists the attached ones.
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct AttachedProgrammer {
  std::string serial;   // the decimal serial number the programmer reports
  std::string product;
};

// "SN: %08X" of a decimal serial number, as the window and `qubrix list` show it; other text as it is.
std::string snText(const std::string& serial);

struct ProgrammerChoice {
  std::string serial;  // empty when none is attached: the job then reports that none was found
  std::string error;   // set when the verb must stop
};

// `requested` matches a serial number or its SN form ("1A2B3C4D", "SN: 1A2B3C4D"), in any case.
ProgrammerChoice chooseProgrammer(const std::vector<AttachedProgrammer>& attached,
                                  const std::optional<std::string>& requested);

// The programmers attached now, in enumeration order.
std::vector<AttachedProgrammer> attachedProgrammers();

}  // namespace cli
