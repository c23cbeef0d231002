// The serial ISP engine fed arbitrary bytes: a program, verify or version-query run of a short-
// or long-frame model on a manual clock, each input byte a received byte except an escape (0xF5)
// whose next byte fires the next timer, cancels, flags a port error or passes 0xF5 itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/manual_timers.hpp"
#include "isp/engine/engine.hpp"

namespace {

class QuietSink final : public isp::engine::IspSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onProgressRange(int, int) override {}
  void onProgress(int) override {}
  void onControlsEnabled(bool) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onFinished(base::Outcome) override {}
  void onProgrammerInfo(const isp::ProgrammerInfo&, isp::engine::VersionQuery) override {}
};

class FakePort final : public isp::engine::IspLink {
 public:
  bool configured() const override { return true; }
  bool isOpen() const override { return open_; }
  bool open(std::uint32_t) override { return open_ = true; }
  void close() override { open_ = false; }
  bool send(isp::Bytes) override { return open_; }
  bool hasError() const override { return error; }
  bool error = false;

 private:
  bool open_ = false;
};

std::uint32_t checksum(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < n && i < bytes.size(); ++i) sum += bytes[i];
  return sum + 2 * static_cast<std::uint32_t>(n) + 1;
}

// A consistent job: a 16 KiB short-frame model of the chosen family type, or a 128 KiB 32-bit one.
isp::engine::IspJob jobFor(std::uint8_t choice) {
  isp::engine::IspJob job;
  const bool long32 = (choice & 0x08) != 0;
  const std::size_t page = long32 ? 512 : 128;
  job.maxFileLength = long32 ? 131072 : 16384;
  job.mcuTypeIndex = long32 ? 0x4803 : static_cast<std::uint16_t>(0x1000 | ((choice & 0x07) % 6) << 8 | 0x05);
  job.modelId = long32 ? 0x3201 : 0x5812;
  job.modelName = long32 ? "QX32F128" : "QX58K16";
  job.internalName = "QX58K16A";
  job.image.assign(job.maxFileLength, 0xFF);
  const std::size_t dataLength = long32 ? 4096 + 1500 : 300;
  for (std::size_t i = 0; i < dataLength; ++i) job.image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  job.dataLength = dataLength;
  job.programLength = static_cast<std::int64_t>((dataLength + page - 1) / page * page);
  job.pageCount = static_cast<std::uint32_t>(static_cast<std::size_t>(job.programLength) / page);
  job.totalChecksum = checksum(job.image, job.maxFileLength);
  job.dataChecksum = checksum(job.image, dataLength);
  job.eraseChip = (choice & 0x10) != 0;
  job.productionFile = (choice & 0x20) != 0;
  return job;
}

constexpr std::uint8_t kEscape = 0xF5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  base::ManualTimers timers;
  FakePort port;
  QuietSink sink;
  isp::engine::IspEngine engine(port, sink, timers);
  timers.setHandler([&engine](int id) { engine.OnTimer(id); });
  engine.setCheckByTool((data[0] & 0x40) != 0);
  switch (data[0] >> 7 | (data[0] & 0x01) << 1) {
    case 0: (void)engine.StartProgram(jobFor(data[0])); break;
    case 1: (void)engine.StartVerify(jobFor(data[0])); break;
    default:
      (void)engine.QueryVersion(data[0] & 0x02 ? isp::engine::VersionQuery::UpdateDialog
                                               : isp::engine::VersionQuery::EncryptedFile);
      break;
  }
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] != kEscape || i + 1 == size) {
      engine.OnByte(data[i]);
      continue;
    }
    switch (data[++i] & 3) {
      case 0: (void)timers.fireNext(); break;
      case 1: engine.Cancel(); break;
      case 2:
        port.error = true;
        engine.OnPortError();
        port.error = false;
        break;
      default: engine.OnByte(kEscape); break;
    }
  }
  // The run ends one way or another once its timers have run out.
  for (int fired = 0; fired < 1000 && timers.fireNext(); ++fired) {
  }
  return 0;
}
