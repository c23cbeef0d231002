// A 128 KiB download into the Writer: the reports it takes (one per 60 bytes plus the fixed
// exchange) and the host's CPU per report, once with the emulated Writer answering and once with
// the host alone against scripted replies.
#include <benchmark/benchmark.h>

#include "device/writer/protocol.hpp"
#include "device/writer/reports.hpp"
#include "emulator/writer/emulated_writer.hpp"
#include "firmware/image.hpp"

namespace {

using namespace qx::writer;

constexpr std::uint32_t kLength = 128 * 1024;
// Start, chip information, flash id, length, check code, file name.
constexpr int kFixedReports = 6;

class QuietSink final : public WriterSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
};

DownloadJob job128k() {
  DownloadJob job;
  job.length = kLength;
  job.bytes.resize(kLength);
  for (std::uint32_t i = 0; i < kLength; ++i) job.bytes[i] = static_cast<std::uint8_t>(i * 13);
  job.familyType = 0x800;
  job.modelId = 0x8F09;
  job.modelName = "QX32A32";
  job.maxFileLength = kLength;
  job.dataLength = kLength;
  job.totalChecksum = firmware::WordXorChecksum(job.bytes, kLength);
  job.fileName = "bench";
  return job;
}

Report reply(std::uint8_t code, std::uint8_t b2 = 0) {
  Report r{};
  r[1] = code;
  r[2] = b2;
  return r;
}

void BM_DownloadThroughEmulatedWriter(benchmark::State& state) {
  const DownloadJob job = job128k();
  std::int64_t reports = 0;
  for (auto _ : state) {
    emulator::writer::WriterConfig config;
    config.rounds = 0;
    auto writer = emulator::writer::EmulatedWriter::create(config);
    QuietSink sink;
    WriterProtocol protocol(sink);
    writer->receive(protocol.begin(job, Millis(0)));
    Report in{};
    while (writer->nextReply(in, 0) == ReadResult::Got) {
      if (const auto out = protocol.onReport(in, Millis(0))) writer->receive(*out);
    }
    if (!protocol.finished()) state.SkipWithError("download did not finish");
    reports = 0;
    for (const auto& e : writer->exchanges()) reports += e.fromHost ? 1 : 0;
  }
  state.counters["host_reports"] = static_cast<double>(reports);
  state.counters["expected"] = static_cast<double>((kLength + 59) / 60 + kFixedReports);
  state.counters["per_report"] =
      benchmark::Counter(static_cast<double>(reports), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}
BENCHMARK(BM_DownloadThroughEmulatedWriter)->Unit(benchmark::kMillisecond);

void BM_HostAloneScriptedReplies(benchmark::State& state) {
  const DownloadJob job = job128k();
  const PacketPlan plan = PlanPackets(kLength);
  Report check = reply(kReplyCheckCode);
  PutBig32(check, 3, job.totalChecksum);
  std::int64_t sent = 0;
  for (auto _ : state) {
    QuietSink sink;
    WriterProtocol protocol(sink);
    sent = 1;
    benchmark::DoNotOptimize(protocol.begin(job, Millis(0)));
    const auto feed = [&](const Report& r) {
      auto out = protocol.onReport(r, Millis(0));
      if (out) ++sent;
      benchmark::DoNotOptimize(out);
    };
    feed(reply(kReplyStarted));
    feed(reply(kReplyModelB, 1));
    feed(reply(kReplyFlashId));
    feed(reply(kReplyLength));
    const std::uint32_t packets = plan.count + (plan.exact ? 0 : 1);
    for (std::uint32_t i = 0; i < packets; ++i) feed(reply(kReplyAck));
    feed(check);
    feed(reply(kReplyDone));
    if (!protocol.finished()) state.SkipWithError("download did not finish");
  }
  state.counters["host_reports"] = static_cast<double>(sent);
  state.counters["per_report"] = benchmark::Counter(
      static_cast<double>(sent), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HostAloneScriptedReplies)->Unit(benchmark::kMillisecond);

}  // namespace
