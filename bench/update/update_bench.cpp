// The two long waits of a firmware update:
//   a 64 KiB image through the emulated STM32 system bootloader at 115200 baud, against the time
//   its frames need on the wire (10 bits a byte, both directions; the flash's own erase and
//   programming time reported beside it);
//   a 10 MiB download from a loopback FTP server, against curl fetching the same file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "emulator/programmer/programmer_flash.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/stm32_bootloader.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/update/ftp_fixture.hpp"
#include "update/firmware_update.hpp"
#include "update/ftp.hpp"

namespace {

namespace es = emulator::serial;
using Clock = std::chrono::steady_clock;

class QuietSink final : public update::UpdateSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string& text, base::MessageIcon) override { last = text; }
  void onStatus(const std::string& text) override { last = text; }
  bool onQuestion(const std::string&, const std::string&) override { return true; }
  std::string last;
};

void SerialUpdate64KiB(benchmark::State& state) {
  testsupport::TempHome home;
  const auto image = emulator::programmer::firmwareImage("1.0.3.0", 64 * 1024 - 0x5800);
  const auto file = home.path() / "fw64k.bin";
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  update::UpdateRequest request;
  request.localFile = file;
  request.workDir = home.path();
  const es::Stm32Config config;
  double wire = 0;
  double flashWork = 0;
  for (auto _ : state) {
    es::PtyHost host(std::make_unique<es::Stm32Bootloader>(config));
    host.start();
    QuietSink sink;
    const auto start = Clock::now();
    const auto outcome = update::updateOverSerial(request, host.path(), sink);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (outcome != base::Outcome::Success) state.SkipWithError(sink.last.c_str());
    std::size_t bytes = 0;
    for (const auto& e : host.exchanges()) bytes += e.bytes.size();
    wire = static_cast<double>(bytes) * 10.0 / 115200.0;
    flashWork = std::chrono::duration<double>(config.massEraseTime).count() +
                std::chrono::duration<double>(config.writeTimePerByte).count() * static_cast<double>(image.size());
  }
  state.counters["wire_s"] = wire;
  state.counters["flash_s"] = flashWork;
  state.counters["bytes"] = static_cast<double>(image.size());
}
BENCHMARK(SerialUpdate64KiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void FtpDownload10MiB(benchmark::State& state) {
  testsupport::TempHome home;
  updatetest::FtpServer server(home.path() / "served");
  if (server.port() == 0) {
    state.SkipWithError("no loopback FTP server");
    return;
  }
  server.nameInConfiguration();
  std::vector<std::uint8_t> bytes(10 * 1024 * 1024);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 13));
  server.publish("big.bin", bytes);
  double ours = 0;
  double curl = 0;
  int rounds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto got = update::ftpDownloadFile("/big.bin", home.path() / "fw_data");
    const double t = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(t);
    if (!got) state.SkipWithError("download failed");
    ours += t;
    // curl's own time from the start of its connection, so that its process start does not count.
    const std::string command = "curl -s -w '%{time_total}' -o '" + (home.path() / "curl_data").string() + "' -u " +
                                updatetest::FtpServer::kUser + ":" + updatetest::FtpServer::kPassword + " " +
                                server.url() + "big.bin";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    double seconds = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &seconds) != 1 || ::pclose(pipe) != 0) {
      state.SkipWithError("curl failed");
      break;
    }
    curl += seconds;
    ++rounds;
  }
  const double mib = static_cast<double>(bytes.size()) / (1024.0 * 1024.0);
  state.counters["ours_MiB_s"] = mib * rounds / ours;
  state.counters["curl_MiB_s"] = mib * rounds / curl;
  state.counters["ratio"] = curl / ours;
}
BENCHMARK(FtpDownload10MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
