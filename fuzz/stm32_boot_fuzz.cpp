// The STM32 bootloader host (update::QubrixUpdateIntf) on a scripted line whose every read hands
// out the next bytes of the input, for each operation in an order the input chooses. Invariants:
// every operation ends with its own result code, and every frame it writes is well formed (a
// command and its complement, an address or length with its check byte).
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "fuzz/invariant.hpp"
#include "update/qubrix_update_intf.hpp"

namespace {

class ScriptedLine final : public update::BootloaderLine {
 public:
  explicit ScriptedLine(FuzzedDataProvider& in) : in_(in) {}
  bool Open(const std::string&, std::uint32_t) override { return open_ = in_.ConsumeIntegral<std::uint8_t>() != 0; }
  bool IsOpen() const override { return open_; }
  // Up to `count` bytes, as few as a slow line gives.
  std::size_t Read(void* buffer, std::size_t count) override {
    if (!open_ || in_.remaining_bytes() == 0) return 0;
    const std::vector<std::uint8_t> bytes = in_.ConsumeBytes<std::uint8_t>(in_.ConsumeIntegralInRange<std::size_t>(0, count));
    if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
    return bytes.size();
  }
  std::size_t Write(const void* buffer, std::size_t count) override {
    if (!open_) return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    checkFrame(bytes, count);
    return count;
  }
  void Purge(isp::Queue) override {}
  void Close() override { open_ = false; }

 private:
  static void checkFrame(const std::uint8_t* bytes, std::size_t count) {
    fuzzing::require(count > 0, "no empty writes");
    if (count == 1) {
      fuzzing::require(bytes[0] == 0x7F, "a single byte is the sync byte");
      return;
    }
    std::uint8_t check = count == 2 ? 0xFF : 0x00;
    for (std::size_t i = 0; i + 1 < count; ++i) check ^= bytes[i];
    fuzzing::require(bytes[count - 1] == check, "every frame carries its check byte");
  }

  FuzzedDataProvider& in_;
  bool open_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  update::QubrixUpdateIntf intf(std::make_unique<ScriptedLine>(in));
  std::array<std::uint8_t, 256> block{};
  std::array<std::uint8_t, 252> entries{};
  for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
    const auto address = in.ConsumeIntegral<std::uint32_t>();
    const auto length = in.ConsumeIntegralInRange<std::size_t>(0, 257);
    const auto count = in.ConsumeIntegralInRange<std::size_t>(0, 127);
    int code = 0;
    std::set<int> allowed{update::kIntfOk};
    switch (in.ConsumeIntegralInRange(0, 8)) {
      case 0:
        code = intf.openBootloader("/dev/null", 115200);
        allowed = {update::kIntfOk, update::kIntfPortNotOpened, update::kIntfNoSync, update::kIntfGetFailed,
                   update::kIntfGetIdFailed};
        fuzzing::require(intf.eraseCommand() == 0 || intf.eraseCommand() == update::kEraseCommand ||
                             intf.eraseCommand() == update::kExtendedEraseCommand,
                         "a known erase command");
        break;
      case 1:
        code = intf.writeBlock(address, block.data(), length);
        allowed.insert(update::kIntfWriteFailed);
        if (length == 0 || length > block.size()) fuzzing::require(code != update::kIntfOk, "length 1..256");
        break;
      case 2:
        code = intf.readBlock(address, block.data(), std::min(length, block.size()));
        allowed.insert(update::kIntfReadFailed);
        break;
      case 3:
        code = intf.erasePagesA(entries.data(), std::min(count, entries.size() / 2));
        allowed.insert(update::kIntfErasePagesAFailed);
        break;
      case 4:
        code = intf.erasePagesB(entries.data(), std::min(count, entries.size() / 2));
        allowed.insert(update::kIntfErasePagesBFailed);
        break;
      case 5:
        code = intf.eraseAll();
        allowed.insert(update::kIntfEraseAllFailed);
        break;
      case 6:
        code = intf.goAddress(address);
        allowed.insert(update::kIntfGoFailed);
        break;
      case 7:
        code = intf.writeVerify(address, block.data(), in.ConsumeBool() ? 16 : length);
        allowed = {update::kIntfOk,    update::kIntfWriteFailed, update::kIntfPortNotOpened, update::kIntfNoSync,
                   update::kIntfGetFailed, update::kIntfGetIdFailed, update::kIntfReadFailed, update::kIntfVerifyDiffers};
        break;
      default: code = intf.closePort(); break;
    }
    fuzzing::require(allowed.count(code) == 1, "each operation's own result codes");
  }
  return 0;
}
