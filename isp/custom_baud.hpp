#pragma once
// The kernel's arbitrary-rate interface (termios2 with BOTHER). It lives in its own file because the
// kernel's termios headers cannot be included together with <termios.h>.
#include <cstdint>

namespace isp {

// Sets input and output rate to `baud` exactly; false with errno set on failure.
bool setCustomBaud(int fd, std::uint32_t baud);

// The output rate the kernel holds for the line, 0 when it cannot be read.
std::uint32_t readCustomBaud(int fd);

}  // namespace isp
