#include "isp/port_list.hpp"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/emulation.hpp"
#include "base/strformat.hpp"

namespace isp {
namespace fs = std::filesystem;
namespace {

// Names for common adapters whose firmware reports no product string.
struct KnownAdapter {
  std::uint16_t vendor;
  std::uint16_t product;
  const char* name;
};
constexpr KnownAdapter kKnownAdapters[] = {
    {0x1a86, 0x7523, "CH340 USB to serial"},   {0x1a86, 0x5523, "CH341 USB to serial"},
    {0x1a86, 0x55d4, "CH9102 USB to serial"},  {0x10c4, 0xea60, "CP210x USB to UART bridge"},
    {0x0403, 0x6001, "FT232R USB UART"},       {0x0403, 0x6015, "FT231X USB UART"},
    {0x0403, 0x6010, "FT2232 USB UART"},       {0x067b, 0x2303, "PL2303 USB to serial"},
};

std::string readLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::optional<std::uint16_t> readHex16(const fs::path& file) {
  const std::string text = readLine(file);
  if (text.empty() || text.size() > 4) return std::nullopt;
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 16);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return static_cast<std::uint16_t>(v);
}

// Serial-core ports expose their UART type; 0 (PORT_UNKNOWN) is a legacy 8250 slot with no chip.
bool isPhantomUart(const fs::path& sysEntry, const fs::path& node) {
  std::error_code ec;
  if (fs::exists(sysEntry / "type", ec)) return readLine(sysEntry / "type") == "0";
  const fs::path driver = fs::read_symlink(sysEntry / "device" / "driver", ec);
  if (ec || driver.filename() != "serial8250") return false;
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool unknown = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
  ::close(fd);
  return unknown;
}

// The USB device a terminal hangs off: the nearest ancestor with idVendor/idProduct.
void fillUsbInfo(const fs::path& sysEntry, PortInfo& port) {
  std::error_code ec;
  fs::path dir = fs::canonical(sysEntry / "device", ec);
  if (ec) return;
  for (int up = 0; up < 5 && !dir.empty() && dir != dir.root_path(); ++up, dir = dir.parent_path()) {
    const auto vendor = readHex16(dir / "idVendor");
    const auto product = readHex16(dir / "idProduct");
    if (!vendor || !product) continue;
    port.usbVendor = *vendor;
    port.usbProduct = *product;
    port.product = readLine(dir / "product");
    if (port.product.empty()) {
      for (const KnownAdapter& k : kKnownAdapters) {
        if (k.vendor == *vendor && k.product == *product) port.product = k.name;
      }
    }
    if (port.product.empty()) port.product = readLine(dir / "manufacturer");
    return;
  }
}

std::vector<PortInfo> hardwarePorts(const PortScanOptions& options) {
  std::vector<PortInfo> ports;
  std::error_code ec;
  for (fs::directory_iterator it(options.sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path entry = it->path();
    std::error_code linkEc;
    if (!fs::exists(entry / "device", linkEc)) continue;  // virtual terminals, ptys, consoles
    const std::string name = entry.filename().string();
    const fs::path node = options.devDir / name;
    if (!fs::exists(node, linkEc) || isPhantomUart(entry, node)) continue;
    PortInfo port;
    port.path = node.string();
    port.name = name;
    fillUsbInfo(entry, port);
    ports.push_back(std::move(port));
  }
  return ports;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

}  // namespace

fs::path emulatedPortsFile() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return fs::path(runtime) / "QUBRIX" / "emulated-ports";
  return fs::temp_directory_path() / base::format("QUBRIX-%u", static_cast<unsigned>(::getuid())) / "emulated-ports";
}

bool emulationEnabled() { return base::emulationRequested(); }

bool writeEmulatedPorts(const std::vector<PortInfo>& ports, const fs::path& file) {
  std::error_code ec;
  if (ports.empty()) {
    fs::remove(file, ec);
    return !ec;
  }
  fs::create_directories(file.parent_path(), ec);
  if (ec) return false;
  const fs::path temp = file.string() + base::format(".%d.tmp", static_cast<int>(::getpid()));
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const PortInfo& p : ports) {
      if (p.path.find_first_of("\t\n") != std::string::npos) continue;
      std::string product = p.product;
      std::replace_if(product.begin(), product.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
      out << p.path << '\t' << product << '\n';
    }
    out.flush();
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, file, ec);
  if (ec) fs::remove(temp, ec);
  return !ec;
}

std::vector<PortInfo> readEmulatedPorts(const fs::path& file) {
  std::vector<PortInfo> ports;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line) && ports.size() < kMaxListedPorts) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t tab = line.find('\t');
    PortInfo p;
    p.path = line.substr(0, tab);
    p.product = tab == std::string::npos ? "" : line.substr(tab + 1);
    std::error_code ec;
    if (p.path.empty() || p.path[0] != '/' || !fs::exists(p.path, ec)) continue;
    p.name = fs::path(p.path).filename().string();
    p.emulated = true;
    ports.push_back(std::move(p));
  }
  return ports;
}

std::vector<PortInfo> listSerialPorts(const PortScanOptions& options) {
  std::vector<PortInfo> found = hardwarePorts(options);
  if (options.includeEmulated) {
    std::vector<PortInfo> emulated = readEmulatedPorts(options.emulatedFile);
    found.insert(found.end(), std::make_move_iterator(emulated.begin()), std::make_move_iterator(emulated.end()));
  }
  std::vector<PortInfo> ports;
  for (PortInfo& p : found) {
    if (ports.size() == kMaxListedPorts) break;
    const bool seen =
        std::any_of(ports.begin(), ports.end(), [&](const PortInfo& q) { return sameIgnoringCase(p.path, q.path); });
    if (!seen) ports.push_back(std::move(p));
  }
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
    if (a.path.size() != b.path.size()) return a.path.size() < b.path.size();
    return a.path < b.path;
  });
  return ports;
}

std::string portLabel(const PortInfo& port) {
  std::string detail = port.product;
  if (port.usbVendor != 0 || port.usbProduct != 0) {
    if (!detail.empty()) detail += ", ";
    detail += base::format("%04x:%04x", port.usbVendor, port.usbProduct);
  }
  return detail.empty() ? port.path : port.path + " (" + detail + ")";
}

}  // namespace isp
