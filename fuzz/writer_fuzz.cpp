// The Writer's reports and its download protocol on arbitrary replies. The input picks a download
// (length, family, plain or enciphered) and then, as the receive thread would, feeds reports in
// any state: arbitrary bytes, or a reply with the code the state waits for (enciphered when the
// download is), with time passing, Cancel, failed writes and a lost link in between.
// Invariants: every report the protocol sends is sealed (after deciphering), TEA round-trips, a
// download ends exactly once through the sink, and the progress never passes its range.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/writer/protocol.hpp"
#include "device/writer/reports.hpp"
#include "firmware/mcu.hpp"
#include "fuzz/invariant.hpp"

namespace {

using namespace qx::writer;

class CheckingSink final : public WriterSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onProgressRange(int low, int high) override {
    fuzzing::require(low == 0 && high >= 0, "progress range starts at 0");
    high_ = high;
  }
  void onProgress(int position) override { fuzzing::require(position >= 0 && position <= high_, "progress in range"); }
  void onDownloadEnded(base::Outcome) override { ++ended; }
  int ended = 0;

 private:
  int high_ = 0;
};

constexpr std::array<std::uint16_t, 4> kFamilies = {firmware::kFamilyK7A0, firmware::kFamilyT4N1, firmware::kFamilyT4N3,
                                                   firmware::kFamily32Bit};
// What each state waits for, by state number.
constexpr std::array<std::uint8_t, 9> kAwaited = {kReplyStatus, kReplyStarted,   kReplyFlashId, kReplyLength, kReplyAck,
                                                  kReplyAck,    kReplyCheckCode, kReplyDone,    kReplyModelB};

DownloadJob jobFrom(FuzzedDataProvider& in) {
  DownloadJob job;
  job.length = in.ConsumeIntegralInRange<std::uint32_t>(0, 1500);
  // The image may be shorter than the download length; the packets then carry what there is.
  job.bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::uint32_t>(0, job.length));
  job.familyType = kFamilies[in.ConsumeIntegralInRange<std::size_t>(0, kFamilies.size() - 1)];
  job.fromEncryptedFile = in.ConsumeBool();
  job.totalChecksum = in.ConsumeIntegral<std::uint32_t>();
  production::ProductionSettings& s = job.settings;
  s.write_limit_num_enable = in.ConsumeBool();
  s.write_num_max = in.ConsumeIntegral<std::uint32_t>();
  s.user_code_enable = in.ConsumeBool();
  s.user_code = in.ConsumeIntegral<std::uint32_t>();
  s.writer_ID_limit_enable = in.ConsumeBool();
  s.write_id_num = in.ConsumeIntegral<std::uint32_t>();
  s.key_enable = in.ConsumeBool();
  s.key.fill(in.ConsumeIntegral<std::uint8_t>());
  s.encrypt_file_id = in.ConsumeIntegral<std::uint32_t>();
  job.modelName = in.ConsumeRandomLengthString(20);
  job.fileName = in.ConsumeRandomLengthString(12);
  return job;
}

Report replyFor(const WriterProtocol& protocol, bool encrypted, std::uint32_t checkCode, FuzzedDataProvider& in) {
  Report r{};
  const std::vector<std::uint8_t> rest = in.ConsumeBytes<std::uint8_t>(8);
  std::copy(rest.begin(), rest.end(), r.begin() + 2);
  r[1] = kAwaited[static_cast<std::size_t>(protocol.state()) % kAwaited.size()];
  if (protocol.state() == 8) r[2] = 1;
  if (protocol.state() == 6 && in.ConsumeBool()) PutBig32(r, 3, checkCode);
  Seal(r);
  if (encrypted) EncipherReport(r);
  return r;
}

void checkSealed(Report out, bool encrypted) {
  if (encrypted) DecipherReport(out);
  fuzzing::require(out[kSumByte] == ReportSum(out), "an outgoing report carries its sum");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  CheckingSink sink;
  WriterProtocol protocol(sink);
  Millis now{0};
  int begun = 0;
  bool encrypted = false;
  std::uint32_t checkCode = 0;
  for (int step = 0; step < 400 && in.remaining_bytes() > 0; ++step) {
    const bool wasDownloading = protocol.downloading();
    const int endedBefore = sink.ended;
    now += Millis(in.ConsumeIntegralInRange(0, 6000));
    switch (in.ConsumeIntegralInRange(0, 9)) {
      case 0: {
        if (protocol.downloading()) break;
        DownloadJob job = jobFrom(in);
        encrypted = job.fromEncryptedFile;
        checkCode = job.totalChecksum;
        const Report start = protocol.begin(std::move(job), now);
        checkSealed(start, false);
        ++begun;
        if (in.ConsumeBool()) protocol.startFailed(in.ConsumeIntegral<std::uint32_t>());
        break;
      }
      case 1: {
        const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 80));
        if (const auto out = protocol.onReport(ReportFromBytes(bytes), now)) checkSealed(*out, encrypted);
        break;
      }
      case 2: protocol.cancel(); break;
      case 3: protocol.sendFailed(in.ConsumeIntegral<std::uint32_t>()); break;
      case 4: protocol.linkLost(); break;
      case 5: (void)protocol.checkTimeout(now); break;
      default:
        if (const auto out = protocol.onReport(replyFor(protocol, encrypted, checkCode, in), now)) {
          checkSealed(*out, encrypted);
        }
        break;
    }
    fuzzing::require(protocol.state() >= 0 && protocol.state() <= 8, "a known state");
    fuzzing::require(protocol.packetIndex() <= protocol.packetCount(), "packets within the plan");
    const bool ended = wasDownloading && !protocol.downloading();
    fuzzing::require(sink.ended == endedBefore + (ended ? 1 : 0), "a download ends once, through the sink");
  }
  fuzzing::require(sink.ended <= begun, "no more ends than downloads");

  // Any bytes as a report, and the built-in key both ways.
  Report raw = ReportFromBytes(std::span(data, size));
  const Report original = raw;
  DecipherReport(raw);
  EncipherReport(raw);
  fuzzing::require(raw == original, "TEA round trip");
  Seal(raw);
  fuzzing::require(raw[kSumByte] == ReportSum(raw), "sealed");
  return 0;
}
