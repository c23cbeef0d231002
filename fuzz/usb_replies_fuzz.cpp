// Every handle's reply decoding on replies of any length and content. A fake transport hands each
// read the next reply from the input; the handles are driven through their commands in an order
// the input chooses. A reply may echo the request's command id, so that the fuzzer gets past the
// id check and into each decoder. Transport failures and refused statuses are DeviceExceptions,
// the documented outcome; anything else is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/exceptions.hpp"
#include "device/interface.hpp"
#include "device/tool.hpp"
#include "device/touch_debug.hpp"
#include "device/store/store_rows.hpp"
#include "device/upgrade.hpp"
#include "firmware/catalogue.hpp"
#include "fuzz/invariant.hpp"

namespace {

class FuzzedReplies final : public qx::Interface {
 public:
  explicit FuzzedReplies(FuzzedDataProvider& input) : input_(input) {}
  bool open() override { return open_ = true; }
  bool isOpen() const override { return open_; }
  void close() override { open_ = false; }
  bool write(qx::Bytes payload) override {
    if (!open_) return false;
    lastId_ = payload.empty() ? 0 : payload[0];
    return true;
  }
  qx::Bytes read(int) override {
    if (!open_ || input_.remaining_bytes() == 0) return {};
    const std::uint8_t how = input_.ConsumeIntegral<std::uint8_t>();
    if (how == 0xFF) throw qx::ReadTimeoutException();
    // Any length, the report's 64 bytes as likely as any other.
    const std::size_t length = (how & 0x80) ? qx::kReportSize : input_.ConsumeIntegralInRange<std::size_t>(0, 80);
    qx::Bytes reply = input_.ConsumeBytes<std::uint8_t>(length);
    if ((how & 1) && !reply.empty()) reply[0] = lastId_;
    return reply;
  }

 private:
  FuzzedDataProvider& input_;
  bool open_ = true;
  std::uint8_t lastId_ = 0;
};

// The store window's rows: eight hex digits of verify code, a model name, a time for any seconds.
void storeRows(const std::vector<qx::FirmwareInfo>& programs) {
  const auto rows = store::rowsFor(programs, firmware::Catalogue());
  fuzzing::require(rows.size() == programs.size(), "a row per program");
  for (const store::StoreRow& row : rows) {
    fuzzing::require(row.verifyCode.size() == 8 && !row.model.empty() && !row.time.empty(), "every column filled");
  }
}

// Names as the callers give them: 1 to 20 bytes.
std::string name(FuzzedDataProvider& in) {
  std::string text = in.ConsumeRandomLengthString(20);
  return text.empty() ? std::string("a") : text;
}

void driveTool(qx::QUBRIXTool& tool, FuzzedDataProvider& in) {
  std::vector<std::uint8_t> bytes(in.ConsumeIntegralInRange<std::size_t>(0, 700), 0x5A);
  qx::FirmwareInfo info;
  qx::LimitInfo limit;
  switch (in.ConsumeIntegralInRange(0, 29)) {
    case 0: (void)tool.openAndIdentify(); break;
    case 1: (void)tool.connect(in.ConsumeIntegral<std::uint32_t>(), name(in), name(in)); break;
    case 2: (void)tool.disconnect(); break;
    case 3: (void)tool.eraseTargetFlash(in.ConsumeIntegralInRange<std::uint8_t>(0, 2), 0, 4); break;
    case 4: (void)tool.writeCacheRange(bytes); break;
    case 5: (void)tool.writeTargetFlash(in.ConsumeIntegral<std::uint32_t>(), in.ConsumeIntegral<std::uint16_t>()); break;
    case 6: (void)tool.verifyRange(0, bytes); break;
    case 7: (void)tool.screenProgress(in.ConsumeIntegral<std::uint8_t>()); break;
    case 8: (void)tool.listFirmware(in.ConsumeIntegral<std::uint16_t>()); break;
    case 9: (void)tool.firmwareInfo(name(in), info); break;
    case 10: (void)tool.getLimit(in.ConsumeIntegral<std::uint32_t>(), limit); break;
    case 11: storeRows(tool.listAllFirmware()); break;
    case 12: (void)tool.storeFirmware(name(in), 1, 2, 3, name(in), 4, 5, bytes); break;
    case 13: (void)tool.setTargetPower(in.ConsumeBool()); break;
    case 14: (void)tool.isTargetPowered(); break;
    case 15: (void)tool.targetVoltage(); break;
    case 16: {
      std::string vendor;
      (void)tool.getVersionType(vendor);
      break;
    }
    case 17: (void)tool.deleteFirmware(name(in)); break;
    case 18: (void)tool.incrementLimit(in.ConsumeIntegral<std::uint32_t>()); break;
    case 19: (void)tool.setFirmwareKey(name(in), std::array<std::uint8_t, 16>{}); break;
    case 20: (void)tool.verifyTargetFlash(0, std::span(bytes).first(std::min<std::size_t>(bytes.size(), qx::kCachePiece))); break;
    case 21: (void)tool.screenChecksum(in.ConsumeIntegral<std::uint32_t>()); break;
    case 22: (void)tool.setActiveFirmware(name(in)); break;
    case 23: (void)tool.syncCacheToFirmware(name(in), 0, in.ConsumeIntegral<std::uint16_t>()); break;
    case 24: (void)tool.setFirmwareTarget(name(in), name(in).substr(0, 16)); break;
    case 25: (void)tool.setLimit(in.ConsumeIntegral<std::uint32_t>(), in.ConsumeIntegral<std::uint32_t>()); break;
    case 26: (void)tool.setFirmwareUserCode(name(in), in.ConsumeIntegral<std::uint32_t>()); break;
    case 27: (void)tool.setFirmwareTime(name(in), in.ConsumeIntegral<std::uint32_t>()); break;
    case 28: (void)tool.createFirmware(name(in), 1, 2, 3, name(in)); break;
    default: (void)tool.screenMode(in.ConsumeIntegral<std::uint8_t>()); break;
  }
}

void driveTouch(qx::TouchDebug& touch, FuzzedDataProvider& in) {
  std::array<std::uint16_t, 64> words{};
  std::array<std::uint8_t, 64> numbers{};
  std::uint8_t u8 = 0;
  std::uint16_t a = 0, b = 0;
  std::uint64_t flags = 0;
  const std::uint8_t count = in.ConsumeIntegral<std::uint8_t>();
  const std::span<std::uint16_t> some(words.data(), in.ConsumeIntegralInRange<std::size_t>(0, words.size()));
  switch (in.ConsumeIntegralInRange(0, 10)) {
    case 0: (void)touch.tdConnect(u8); break;
    case 1: (void)touch.tdDisconnect(); break;
    case 2: (void)touch.tdGetState(u8); break;
    case 3: (void)touch.tdGetChannelCount(u8); break;
    case 4: (void)touch.tdGetRefChData(a, b); break;
    case 5: (void)touch.tdGetKeysFlagSN(flags); break;
    case 6: (void)touch.tdGetBaselineData(count, some); break;
    case 7: (void)touch.tdGetRawData(count, some); break;
    case 8: (void)touch.tdGetThresholdData(count, some); break;
    case 9: (void)touch.tdSetThresholdData(some); break;
    default: (void)touch.tdGetChannelNumber(count, std::span(numbers).first(count % numbers.size())); break;
  }
}

void driveUpgrade(qx::QUBRIXToolUpgradeIntf& upgrade, FuzzedDataProvider& in) {
  std::vector<std::uint8_t> bytes(in.ConsumeIntegralInRange<std::size_t>(0, 300), 0xA5);
  switch (in.ConsumeIntegralInRange(0, 8)) {
    case 0: (void)upgrade.getMode(); break;
    case 1: (void)upgrade.getBootIdentity(); break;
    case 2: (void)upgrade.getAppVersion(); break;
    case 3: (void)upgrade.readMemoryBlock(in.ConsumeIntegral<std::uint32_t>(), in.ConsumeIntegral<std::uint16_t>()); break;
    case 4: (void)upgrade.writeMemoryBlock(in.ConsumeIntegral<std::uint32_t>(), bytes); break;
    case 5: (void)upgrade.erasePage(in.ConsumeIntegral<std::uint32_t>()); break;
    case 6: (void)upgrade.readMemory(in.ConsumeIntegral<std::uint32_t>(), in.ConsumeIntegralInRange<std::uint32_t>(0, 2048)); break;
    case 7: (void)upgrade.writeMemory(in.ConsumeIntegral<std::uint32_t>(), bytes); break;
    default: upgrade.restart(in.ConsumeIntegral<std::uint8_t>()); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  auto link = std::make_shared<FuzzedReplies>(in);
  const int handle = in.ConsumeIntegralInRange(0, 2);
  qx::QUBRIXTool tool(link);
  qx::TouchDebug touch(link);
  qx::QUBRIXToolUpgradeIntf upgrade(link);
  for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
    try {
      if (handle == 0) driveTool(tool, in);
      if (handle == 1) driveTouch(touch, in);
      if (handle == 2) driveUpgrade(upgrade, in);
    } catch (const qx::DeviceException&) {
    }
  }
  return 0;
}
