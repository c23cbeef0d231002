#pragma once
// What the Writer panel needs of the main window, which owns the image, the selected model, the
// production settings, the log and the progress bar, and looks the Writer up.
#include <cstdint>
#include <optional>
#include <string>

#include "base/report.hpp"
#include "firmware/image.hpp"
#include "firmware/mcu.hpp"
#include "firmware/production/settings.hpp"

namespace writerpanel {

class PanelHost {
 public:
  virtual ~PanelHost() = default;

  virtual const firmware::ProgramImage& writerImage() const = 0;
  virtual production::ProductionSettings& writerSettings() = 0;
  virtual const firmware::MCU* writerModel() const = 0;
  virtual std::uint16_t writerModelCode() const = 0;
  // The selected file, empty when none; the name (without extension) last chosen in the open
  // dialog, which a dropped file does not change.
  virtual std::string selectedFile() const = 0;
  virtual std::string openedFileName() const = 0;
  // Loads the selected file again, so that the image has the Writer-mode lengths.
  virtual bool reloadSelectedFile() = 0;
  // Whether a Writer is there, without a log line.
  virtual bool writerConnected() = 0;
  // The window's device search in Writer mode: logs what it found; the Writer's path, or none.
  virtual std::optional<std::string> lookUpWriter() = 0;

  virtual void hostLog(const std::string& line, base::LogColour colour) = 0;
  virtual void hostClearLog() = 0;
  virtual void hostProgressRange(int low, int high) = 0;
  virtual void hostProgress(int position) = 0;
  virtual void hostMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) = 0;
  // A save dialog for Generate: default name, extension and "label|patterns|...||" filter.
  virtual std::optional<std::string> askSavePath(const std::string& defaultName, const std::string& extension,
                                                 const std::string& filter) = 0;
};

}  // namespace writerpanel
