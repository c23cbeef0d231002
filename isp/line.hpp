#pragma once
// The POSIX form of a serial line as both port classes need it: exclusive open of a tty by path,
// raw line settings from baud/parity/data/stop, purges, and the kernel's line-error counters.
#include <cstdint>
#include <optional>
#include <string>

struct termios;

namespace isp {

struct LineSettings {
  std::uint32_t baud = 9600;
  char parity = 'N';  // N, E, O, M (mark) or S (space), either case
  int dataBits = 8;   // 5..8
  int stopBits = 1;   // 1 or 2
};

// A failed set-up step: the call that failed and errno.
struct LineError {
  const char* call;
  int error;
};

// Opens a terminal device read/write, non-blocking, without making it the controlling terminal, and
// claims it exclusively (TIOCEXCL and a non-blocking flock), as a Windows COM port is always opened
// exclusively. Anything that is not a terminal is refused, so a mistyped path never writes to a file.
// Returns the descriptor, or -1 with errno set.
int openLine(const std::string& path);
void closeLine(int fd);

// Turns `t` into a raw line with the given settings, without flow control; false for settings a
// UART cannot do. The rate is not touched.
bool buildLineTermios(::termios& t, const LineSettings& settings);

// Applies buildLineTermios() and the rate, with RTS/DTR raised (ignored where the line has
// no modem signals, as on pseudo-terminals). Any rate is accepted: the standard ones through termios,
// the others (256000, for example) through the kernel's arbitrary-rate interface.
std::optional<LineError> configureLine(int fd, const LineSettings& settings);

// The rate the kernel holds for the line, 0 when it cannot be read.
std::uint32_t lineBaud(int fd);

enum class Queue { Input, Output, Both };
void purgeLine(int fd, Queue which);

// Tracks framing, parity, overrun and break counts (TIOCGICOUNT): true when any grew since the last
// call. Lines whose driver keeps no counters (pseudo-terminals) never report errors.
class LineErrorCounter {
 public:
  bool takeErrors(int fd);
  void reset() { last_.reset(); }

 private:
  std::optional<std::uint64_t> last_;
};

// strerror text for traces.
std::string errorText(int error);

}  // namespace isp
