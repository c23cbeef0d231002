#pragma once
// How the serial ISP engine reaches the world: IspSink for what the user sees (the Reporter's log,
// progress bar, controls and message boxes, and the few calls of its own) and IspLink for the
// serial port. Both are called on the engine's thread.
#include <cstdint>
#include <string>

#include "base/report.hpp"
#include "isp/frames.hpp"
#include "isp/replies.hpp"

namespace isp::engine {

// Who asked for the programmer's version: nobody, the firmware-update dialog, or the loading of
// an encrypted program file (which only stores it).
enum class VersionQuery { None = 0, UpdateDialog = 1, EncryptedFile = 2 };

class IspSink : public virtual base::Reporter {
 public:
  // The run ended by Finish, Abort, Cancel or a port error.
  virtual void onFinished(base::Outcome outcome) = 0;
  // Cancel releases the loaded image; the next Program reloads the file.
  virtual void onImageReleased() {}
  virtual void onProgrammerInfo(const ProgrammerInfo& info, VersionQuery asker) = 0;
};

class IspLink {
 public:
  virtual ~IspLink() = default;
  // A port has been chosen.
  virtual bool configured() const = 0;
  virtual bool isOpen() const = 0;
  // (Re)opens the chosen port at `baud`, 8N1; received bytes reach the engine's OnByte in order.
  virtual bool open(std::uint32_t baud) = 0;
  virtual void close() = 0;
  // One write per frame; false when it could not be queued.
  virtual bool send(Bytes frame) = 0;
  // The port layer's error flag (a failed read or write, a vanished adapter).
  virtual bool hasError() const = 0;
};

}  // namespace isp::engine
