#pragma once
// Seams between the window and the device layer, which lives elsewhere: how the window finds the
// attached programmers and the Writer, and what is using the serial port. Each defaults to
// "nothing there"; the application wires them to the USB layer and, as they arrive, the panels.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mainwin {

// One QUBRIX Tool programmer (vendor 0xFFCA, product 0x0125) present on the bus.
struct AttachedProgrammer {
  std::string product;
  std::string serial;
};

// The Writer (vendor 0xFFCA, product 0x0123) as the Writer panel talks to it.
struct AttachedWriter {
  std::string path;
  std::size_t inputReportLength = 0;
  std::size_t outputReportLength = 0;
};

struct DeviceLookups {
  std::function<std::vector<AttachedProgrammer>()> programmers;
  std::function<std::optional<AttachedWriter>()> writer;
};

struct PortActivity {
  std::function<bool()> ispRunning;        // an ISP operation is not idle
  std::function<void()> stopIsp;           // stops its timers and closes the port
  std::function<bool()> touchLinkRunning;  // a touch link over a serial port is up
  std::function<void()> stopTouchLink;     // stops it and resets the touch panel's buttons
};

inline std::vector<AttachedProgrammer> programmersOf(const DeviceLookups& l) {
  return l.programmers ? l.programmers() : std::vector<AttachedProgrammer>{};
}
inline std::optional<AttachedWriter> writerOf(const DeviceLookups& l) {
  return l.writer ? l.writer() : std::nullopt;
}
inline bool isRunning(const std::function<bool()>& f) { return f && f(); }

}  // namespace mainwin
