#include "emulator/programmer/programmer_model.hpp"

#include <algorithm>
#include <utility>

#include "device/commands.hpp"
#include "device/frame.hpp"
#include "emulator/programmer/programmer_flash.hpp"
#include "emulator/programmer/status_codes.hpp"

namespace emulator::programmer {
namespace {

using namespace status;

namespace cmd = qx::cmd;
using qx::u8At;
using qx::u32At;

constexpr std::uint8_t kModeBoot = 1;
constexpr std::uint8_t kModeApplication = 2;
constexpr std::uint8_t kVersionTypeVendor = 3;
// A full-speed HID report each way takes one polling interval.
constexpr std::chrono::milliseconds kExchangeCost{2};

void putText(Bytes& out, std::size_t lengthAt, const std::string& text) {
  const std::size_t n = std::min(text.size(), out.size() - lengthAt - 1);
  out[lengthAt] = static_cast<std::uint8_t>(n);
  std::copy_n(text.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(lengthAt + 1));
}

}  // namespace

void put16(Bytes& f, std::size_t pos, std::uint16_t v) {
  for (std::size_t i = 0; i < 2 && pos + i < f.size(); ++i) f[pos + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void put32(Bytes& f, std::size_t pos, std::uint32_t v) {
  for (std::size_t i = 0; i < 4 && pos + i < f.size(); ++i) f[pos + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

ProgrammerModel::ProgrammerModel(Config config)
    : config_(std::move(config)), sensor_(config_.touchChannels, config_.serial) {
  persistent_.programmerFlash = NorFlash(kFlashSize);
  persistent_.programmerFlash.assign(firmwareImage(config_.firmwareVersion));
}

void ProgrammerModel::powerCycle() {
  connected_ = false;
  touchConnected_ = false;
  statePolls_ = 0;
  cache_.fill(0);
  screen_ = ScreenRecord{};
}

std::string ProgrammerModel::applicationVersion() const {
  return programmer::applicationVersion(persistent_.programmerFlash.bytes()).value_or(std::string());
}

std::string ProgrammerModel::serialNumber() const {
  if (persistent_.bootMode && config_.bootSerialIsIdentity) return config_.bootIdentity;
  return serialText(config_);
}

Bytes ProgrammerModel::reply(std::uint8_t id, std::uint8_t status) const {
  Bytes out(qx::kReportSize, 0);
  out[0] = id;
  out[1] = status;
  return out;
}

Answer ProgrammerModel::answer(const Bytes& request) {
  // The device always sees a whole report.
  Bytes req = request;
  req.resize(qx::kReportSize, 0);
  Answer a;
  a.cost = kExchangeCost;
  const std::uint8_t id = u8At(req, 0);
  Bytes out = reply(id);
  if (id == cmd::kIdentify.id) {
    info(req, out);
  } else if (id == cmd::kUpgradeMode.id) {
    out[1] = persistent_.bootMode ? kModeBoot : kModeApplication;
  } else if (id == cmd::kUpgradeRestart) {
    const std::uint8_t mode = u8At(req, 1);
    if (mode == kModeBoot) persistent_.bootMode = true;
    // The bootloader starts only an application whose header reads right.
    if (mode == kModeApplication) persistent_.bootMode = applicationVersion().empty();
    powerCycle();
    a.restart = true;
    return a;
  } else if (id == cmd::kUpgradeReadMem.id || id == cmd::kUpgradeWriteMem.id || id == cmd::kUpgradeErase.id) {
    if (persistent_.bootMode) {
      boot(req, out, a);
    } else {
      out[1] = kInvalidOperation;
    }
  } else if (persistent_.bootMode || !applicationCommand(req, a, out)) {
    out[1] = kInvalidOperation;
  }
  a.reply = std::move(out);
  return a;
}

bool ProgrammerModel::applicationCommand(const Bytes& req, Answer& a, Bytes& out) {
  const std::uint8_t id = req[0];
  if (id == cmd::kConnect.id) {
    connect(req, out);
  } else if (id == cmd::kDisconnect.id) {
    connected_ = false;
  } else if (id == cmd::kEraseTgtFlash.id) {
    eraseTarget(req, out, a);
  } else if (id == cmd::kWriteTgtFlash.id) {
    burn(req, out, a);
  } else if (id == cmd::kVerifyTgtFlash.id) {
    verify(req, out);
  } else if (id == cmd::kWriteCache.id) {
    writeCache(req, out);
  } else if (id == cmd::kScreenStatus.id) {
    screenStatus(req, out);
  } else if (id == cmd::kTargetPowerSwitch.id) {
    targetPower(req, out);
  } else if (id == cmd::kWriteEvent.id) {
    screen_.writeEvents.push_back(u8At(req, 1));
  } else if (id >= cmd::kTdConnect.id && id <= cmd::kTdGetChannelNumber.id) {
    touch(req, out);
  } else if (id >= cmd::kFwList.id && id <= cmd::kFwLimitInc.id) {
    store(req, out, a);
  } else {
    return false;
  }
  return true;
}

void ProgrammerModel::info(const Bytes& req, Bytes& out) const {
  switch (u8At(req, 1)) {
    case cmd::kInfoAppVersion:
      putText(out, 1, applicationVersion());
      break;
    case cmd::kInfoVersionType:
      out[2] = config_.versionType;
      if (config_.versionType == kVersionTypeVendor) putText(out, 3, config_.vendor);
      break;
    case cmd::kInfoBootIdentity:
      putText(out, 1, config_.bootIdentity);
      break;
    default:
      break;  // length 0: nothing to tell
  }
}

void ProgrammerModel::targetPower(const Bytes& req, Bytes& out) {
  Persistent& p = persistent_;
  switch (u8At(req, 1)) {
    case cmd::kPowerQuery:
      out[1] = p.targetPowered ? 1 : 0;
      break;
    case cmd::kPowerOn:
      p.targetPowered = true;
      break;
    case cmd::kPowerOff:
      p.targetPowered = false;
      connected_ = false;
      touchConnected_ = false;
      break;
    case cmd::kPowerVoltage:
      put32(out, 1, p.targetPowered ? config_.centivolts : 0);
      break;
    default:
      out[1] = kInvalidOperation;
      break;
  }
}

void ProgrammerModel::screenStatus(const Bytes& req, Bytes& out) {
  const std::uint8_t sub = u8At(req, 1);
  std::uint32_t value = u8At(req, 2);
  switch (sub) {
    case cmd::kScreenClear:
      screen_.state = 0;
      screen_.progress = 0;
      screen_.checksum = 0;
      value = 0;
      break;
    case cmd::kScreenChecksum:
      value = u32At(req, 2);
      screen_.checksum = value;
      break;
    case cmd::kScreenState:
      screen_.state = static_cast<int>(value);
      break;
    case cmd::kScreenProgress:
      screen_.progress = static_cast<int>(std::min<std::uint32_t>(value, 100));
      break;
    case cmd::kScreenMode:
      screen_.mode = static_cast<int>(value);
      break;
    default:
      out[1] = kInvalidOperation;
      return;
  }
  screen_.history.emplace_back(sub, value);
}

}  // namespace emulator::programmer
