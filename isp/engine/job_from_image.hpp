#pragma once
// The job of one serial ISP run, built by jobFromSource from what the window and the command line
// hold (firmware/job_source.hpp): the loaded image, the selected model and the production settings.
#include <cstdint>
#include <optional>

#include "firmware/image.hpp"
#include "firmware/job_source.hpp"
#include "isp/engine/job.hpp"

namespace isp::engine {

struct JobOptions {
  bool eraseChip = false;
  bool calibrateRc = true;
  std::uint8_t upgradeBaudCode = 0;
};

// For a production file the header's model name is the text field that ProgramStart carries with
// the limits. The data of an encrypted program file, which the ISP mode keeps enciphered under the
// built-in key, is deciphered here. The 32-bit identification is checked against the process-wide
// catalogue. The source must have a model.
IspJob jobFromSource(const firmware::JobSource& source, const JobOptions& options);

// Program refuses an encrypted program file unless the serial programmer reports at least
// IspEngine::kMinVersionForEncrypted, which knows how to keep its limits; true when it may go on.
bool encryptedFileAllowed(const IspJob& job, std::optional<std::uint16_t> programmerVersion);

}  // namespace isp::engine
