#include "tests/usbjobs/rig.hpp"

#include <algorithm>

#include "device/enumerate.hpp"
#include "firmware/catalogue.hpp"

namespace usbjobstest {

bool RecordingSink::has(const std::string& line) const {
  return std::any_of(log.begin(), log.end(), [&](const LogEntry& e) { return e.line == line; });
}

bool RecordingSink::hasError(const std::string& line) const {
  return std::any_of(log.begin(), log.end(),
                     [&](const LogEntry& e) { return e.line == line && e.colour == base::LogColour::Error; });
}

std::string RecordingSink::text() const {
  std::string out;
  for (const LogEntry& e : log) out += (e.colour == base::LogColour::Error ? "[E] " : "    ") + e.line + "\n";
  return out;
}

Rig::Rig(ep::Config config) : device(ep::EmulatedProgrammer::create(std::move(config))) {
  qx::setHardwareEnumeration(false);
  provider_ = qx::addDeviceProvider([this] {
    std::vector<std::shared_ptr<qx::Interface>> found;
    if (!attached_) return found;
    if (auto link = device->attach()) {
      handedOut_.push_back(link);
      found.push_back(std::move(link));
    }
    return found;
  });
}

Rig::~Rig() { qx::removeDeviceProvider(provider_); }

std::vector<std::uint8_t> Rig::ids() const {
  std::vector<std::uint8_t> out;
  for (const ep::LoggedExchange& e : device->log()) out.push_back(e.request[0]);
  return out;
}

std::vector<ep::LoggedExchange> Rig::requests(std::uint8_t id) const {
  std::vector<ep::LoggedExchange> out;
  for (const ep::LoggedExchange& e : device->log()) {
    if (e.request[0] == id) out.push_back(e);
  }
  return out;
}

bool Rig::targetPowered() {
  bool powered = false;
  device->inspect([&](ep::ProgrammerModel& m) { powered = m.persistent().targetPowered; });
  return powered;
}

bool Rig::anyTransportOpen() const {
  return std::any_of(handedOut_.begin(), handedOut_.end(), [](const std::weak_ptr<qx::Interface>& w) {
    const auto link = w.lock();
    return link != nullptr && link->isOpen();
  });
}

std::vector<std::uint8_t> Rig::targetFlash(std::size_t from, std::size_t n) {
  std::vector<std::uint8_t> out;
  device->inspect([&](ep::ProgrammerModel& m) {
    const auto& bytes = m.persistent().targetFlash.bytes();
    out.assign(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(from + n));
  });
  return out;
}

usbjobs::UsbJob jobFor(const std::string& model, std::size_t dataLength, std::int64_t programLength) {
  usbjobs::UsbJob job;
  job.model = firmware::FindByName(model);
  job.mcuTypeIndex = firmware::TypeIndex(*job.model);
  job.bytes.assign(job.model->flashSize, 0xFF);
  for (std::size_t i = 0; i < dataLength; ++i) job.bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  job.dataLength = dataLength;
  job.programLength = programLength;
  job.totalChecksum = 0x1234;
  return job;
}

std::uint32_t u32(const qx::Bytes& b, std::size_t at) {
  return b[at] | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::uint16_t u16(const qx::Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }

}  // namespace usbjobstest
