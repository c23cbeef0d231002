#pragma once
// How the serial ISP engine reaches the world: IspSink for what the user sees (log, progress bar,
// controls, message boxes) and IspLink for the serial port. Both are called on the engine's thread.
#include <cstdint>
#include <string>

#include "base/report.hpp"
#include "isp/frames.hpp"
#include "isp/replies.hpp"

namespace isp::engine {

enum class Outcome { Success, Failed, Cancelled };

// Who asked for the programmer's version: nobody, the firmware-update dialog, or the loading of
// an encrypted program file (which only stores it).
enum class VersionQuery { None = 0, UpdateDialog = 1, EncryptedFile = 2 };

class IspSink {
 public:
  virtual ~IspSink() = default;
  // One finished log line; it already starts with "--> " where the log wants it.
  virtual void onLog(const std::string& line, base::LogColour colour) = 0;
  virtual void onProgressRange(int low, int high) = 0;
  virtual void onProgress(int position) = 0;
  // False while a run is active: the controls that could start another run are disabled.
  virtual void onControlsEnabled(bool enabled) = 0;
  virtual void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) = 0;
  // The run ended by Finish, Abort, Cancel or a port error.
  virtual void onFinished(Outcome outcome) = 0;
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
