#include "isp/line.hpp"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "isp/custom_baud.hpp"

namespace isp {
namespace {

struct StandardRate {
  std::uint32_t baud;
  speed_t code;
};

constexpr StandardRate kStandardRates[] = {
    {300, B300},         {600, B600},         {1200, B1200},       {2400, B2400},
    {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {3000000, B3000000},
};

std::optional<speed_t> standardCode(std::uint32_t baud) {
  for (const StandardRate& r : kStandardRates) {
    if (r.baud == baud) return r.code;
  }
  return std::nullopt;
}

std::optional<tcflag_t> dataBitsFlag(int bits) {
  switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return std::nullopt;
  }
}

}  // namespace

bool buildLineTermios(termios& t, const LineSettings& s) {
  ::cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const auto size = dataBitsFlag(s.dataBits);
  if (!size || (s.stopBits != 1 && s.stopBits != 2) || s.baud == 0) return false;
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= *size | CLOCAL | CREAD;
  if (s.stopBits == 2) t.c_cflag |= CSTOPB;
  switch (std::toupper(static_cast<unsigned char>(s.parity))) {
    case 'N': break;
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
  }
  if (t.c_cflag & PARENB) t.c_iflag |= INPCK;
  return true;
}

int openLine(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (!::isatty(fd)) {
    ::close(fd);
    errno = ENOTTY;
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e == EWOULDBLOCK ? EBUSY : e;
    return -1;
  }
  ::ioctl(fd, TIOCEXCL);
  return fd;
}

void closeLine(int fd) {
  if (fd < 0) return;
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

std::optional<LineError> configureLine(int fd, const LineSettings& settings) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return LineError{"tcgetattr()", errno};
  if (!buildLineTermios(t, settings)) return LineError{"BuildLineSettings()", EINVAL};
  const auto code = standardCode(settings.baud);
  if (code && ::cfsetspeed(&t, *code) != 0) return LineError{"cfsetspeed()", errno};
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return LineError{"tcsetattr()", errno};
  if (!code && !setCustomBaud(fd, settings.baud)) return LineError{"TCSETS2", errno};
  int lines = TIOCM_RTS | TIOCM_DTR;
  ::ioctl(fd, TIOCMBIS, &lines);
  return std::nullopt;
}

std::uint32_t lineBaud(int fd) { return readCustomBaud(fd); }

void purgeLine(int fd, Queue which) {
  if (fd < 0) return;
  const int how = which == Queue::Input ? TCIFLUSH : which == Queue::Output ? TCOFLUSH : TCIOFLUSH;
  ::tcflush(fd, how);
}

bool LineErrorCounter::takeErrors(int fd) {
  serial_icounter_struct c{};
  if (fd < 0 || ::ioctl(fd, TIOCGICOUNT, &c) != 0) return false;
  const std::uint64_t total = std::uint64_t(unsigned(c.frame)) + unsigned(c.parity) + unsigned(c.overrun) +
                              unsigned(c.brk) + unsigned(c.buf_overrun);
  const bool grew = last_ && total != *last_;
  last_ = total;
  return grew;
}

std::string errorText(int error) {
  char buffer[256];
  return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace isp
