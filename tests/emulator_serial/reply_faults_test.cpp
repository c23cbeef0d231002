// The faults of the line and the refusals of the devices, against the ISP engine over a
// pseudo-terminal: the host's lines and the exact bytes that crossed.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "base/texts.hpp"
#include "emulator/serial/chip32_bootloader.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/device_spec.hpp"
#include "emulator/serial/downloader.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/reply_faults.hpp"
#include "isp/engine/runner.hpp"
#include "isp/loaders/loaders.hpp"
#include "isp/replies.hpp"
#include "tests/emulator_serial/fake_wire.hpp"
#include "tests/ispengine/engine_rig.hpp"

namespace emuserialtest {
namespace {

using base::Outcome;
using emulator::serial::FaultyReplies;
using emulator::serial::PtyHost;
using emulator::serial::SerialDevice;
using isp::Frame;
using isp::engine::IspJob;
using ispenginetest::RecordingSink;
using namespace std::chrono_literals;

std::unique_ptr<SerialDevice> deviceFrom(const std::vector<std::string>& words) {
  std::string error;
  const auto spec = emulator::serial::parseDeviceSpec(words, error);
  EXPECT_TRUE(spec.has_value()) << error;
  return spec ? emulator::serial::makeDevice(*spec) : nullptr;
}

// --- what the wrapper does to one reply, byte for byte ---

struct WireCase {
  const char* fault;
  std::vector<Frame> sent;  // for SetBaud, the first request after the synchronisation
  emulator::serial::Micros before{0};
};

class ReplyFault : public ::testing::TestWithParam<WireCase> {};

TEST_P(ReplyFault, BendsTheReplyToItsRequestOnly) {
  auto device = deviceFrom({"bootloader", GetParam().fault});
  ASSERT_NE(device, nullptr);
  FakeWire w;
  device->onReset(w);
  EXPECT_EQ(w.feed(*device, isp::syncBytes(isp::Dialect::Short)), std::vector<Frame>{isp::syncAnswerReply(0x5A)});
  EXPECT_EQ(w.feed(*device, isp::setBaudFrame(4)), GetParam().sent);
  EXPECT_EQ(w.clock, GetParam().before);
  // The device acted all the same, and the next reply is whole.
  EXPECT_EQ(w.rate(), 9600u);
  EXPECT_EQ(w.feed(*device, isp::confirmBaudFrame()), std::vector<Frame>{isp::lineTestPattern()});
}

const Frame kBaud = isp::baudAnswerReply(0, 4);  // AA 03 81 00 04 86

INSTANTIATE_TEST_SUITE_P(Faults, ReplyFault, ::testing::Values(
    WireCase{"fault=noise-at:1", {Frame(std::begin(emulator::serial::kNoise), std::end(emulator::serial::kNoise)), kBaud}},
    WireCase{"fault=bad-checksum:1", {{0xAA, 0x03, 0x81, 0x00, 0x04, 0x87}}},
    WireCase{"fault=drop-reply:1", {}},
    WireCase{"fault=duplicate-ack:1", {kBaud, kBaud}},
    WireCase{"fault=late-ack:1", {kBaud}, FaultyReplies::kLateBy},
    WireCase{"fault=late-ack:2", {kBaud}}));

TEST(ReplyFault, TheSyncAnswerCanComeWithItsHeader) {
  FakeWire w;
  for (const char* kind : {"bootloader", "downloader"}) {
    auto device = deviceFrom({kind, "fault=sync-header"});
    device->onReset(w);
    const std::uint8_t x = std::string(kind) == "downloader" ? 0xFF : 0x5A;
    EXPECT_EQ(w.feed(*device, isp::syncBytes(isp::Dialect::Short)), (std::vector<Frame>{{0xAA, 'O', 'K', x}})) << kind;
  }
}

// --- the engine against each fault ---

struct Seen {
  Outcome outcome;
  bool stalled;
  const RecordingSink& sink;
  const IspJob& job;
  std::vector<Frame> requests;
  std::vector<Frame> replies;
  PtyHost& host;
};

struct HostCase {
  const char* name;
  std::vector<std::string> words;
  IspJob job;
  Outcome outcome;
  std::function<void(const Seen&)> check;
  std::chrono::milliseconds stall = 1000ms;  // the runner's stall time-out
};

std::string tx(int id) { return "--> " + base::text(id); }

IspJob fast(IspJob job) {
  job.upgradeBaudCode = 11;
  return job;
}

Frame imageBlock(const IspJob& job, std::uint32_t block) {
  const std::uint16_t family = job.mcuTypeIndex & 0x0F00;
  return isp::writeBlockFrame(family, isp::kAreaFlash, block, {job.image.data() + block * 128, 128});
}

Frame loaderBlock(std::uint16_t family, std::uint32_t block) {
  std::array<std::uint8_t, 128> data;
  data.fill(0xFF);
  const auto loader = isp::loaders::loaderFor(family);
  std::copy_n(loader.begin() + block * 128, std::min<std::size_t>(128, loader.size() - block * 128), data.begin());
  return isp::writeBlockFrame(family, isp::kAreaXdata, block, data);
}

isp::Bytes flashOf(SerialDevice& d) {
  SerialDevice& inner = dynamic_cast<FaultyReplies*>(&d) ? dynamic_cast<FaultyReplies&>(d).device() : d;
  if (auto* chip = dynamic_cast<emulator::serial::ChipBootloader*>(&inner)) return chip->flash().bytes();
  if (auto* tool = dynamic_cast<emulator::serial::SerialDownloader*>(&inner)) return tool->targetFlash().bytes();
  return dynamic_cast<emulator::serial::Chip32Bootloader&>(inner).flash().bytes();
}

bool holds(PtyHost& host, const IspJob& job, std::size_t from, std::size_t to) {
  bool same = false;
  host.withDevice([&](SerialDevice& d) {
    const isp::Bytes f = flashOf(d);
    same = f.size() >= to && std::equal(f.begin() + static_cast<std::ptrdiff_t>(from), f.begin() + static_cast<std::ptrdiff_t>(to),
                                        job.image.begin() + static_cast<std::ptrdiff_t>(from));
  });
  return same;
}

// The given frame sent twice in a row.
bool sentTwice(const std::vector<Frame>& requests, const Frame& frame) {
  return std::adjacent_find(requests.begin(), requests.end(), [&](const Frame& a, const Frame& b) { return a == frame && b == frame; }) !=
         requests.end();
}

// The run given up after the stall time-out: the device was told to stop as a Cancel tells it (the
// last request), and the run ended with "Stop upgrading!".
void givenUp(const Seen& s, const Frame& stop = isp::endFrame()) {
  EXPECT_TRUE(s.stalled);
  ASSERT_FALSE(s.requests.empty());
  EXPECT_EQ(s.requests.back(), stop);
  const auto lines = s.sink.texts();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].rfind("--> No answer for", 0), 0u) << lines[lines.size() - 2];
  EXPECT_EQ(lines.back(), tx(288));
}

std::vector<HostCase> hostCases() {
  const IspJob k7a1 = fast(ispenginetest::shortJob(0x100, 20 * 128));
  const IspJob k7a0 = fast(ispenginetest::shortJob(0x000, 4 * 128));
  const IspJob w3x = ispenginetest::longJob(3000);
  // Requests after the synchronisation: SetBaud, ConfirmBaud, ProgramStart, Erase, then block 0 as
  // the fifth (K7A1); K7A0 erases XDATA fourth and sends its 8 loader blocks before the flash Erase.
  return {
      {"NoiseBeforeABlocksAcknowledgementIsSkipped", {"bootloader", "fault=noise-at:6"}, k7a1, Outcome::Success,
       [](const Seen& s) {
         EXPECT_TRUE(holds(s.host, s.job, 0, 20 * 128));
         EXPECT_TRUE(s.sink.logged(tx(230)));
         EXPECT_NE(std::find(s.replies.begin(), s.replies.end(), Frame(std::begin(emulator::serial::kNoise), std::end(emulator::serial::kNoise))),
                   s.replies.end());
       }},
      {"ABadChecksumLeavesTheBlockUnansweredUntilTheRunIsGivenUp", {"bootloader", "fault=bad-checksum:5"}, k7a1, Outcome::Failed,
       [](const Seen& s) {
         givenUp(s);
         EXPECT_EQ(s.requests.end()[-2], imageBlock(s.job, 0));
         EXPECT_EQ(s.replies.back(), (Frame{0xAA, 0x03, 0x80, 0x00, 0x00, 0x82}));
       }},
      {"ADroppedReplyLeavesTheBlockWrittenAndTheHostWaiting", {"bootloader", "fault=drop-reply:5"}, k7a1, Outcome::Failed,
       [](const Seen& s) {
         givenUp(s);
         EXPECT_EQ(s.requests.end()[-2], imageBlock(s.job, 0));
         EXPECT_EQ(s.replies.back(), isp::ackReply(0));  // the Erase's: nothing came for the block
         EXPECT_TRUE(holds(s.host, s.job, 0, 128));
       }},
      {"ADuplicateAcknowledgementDoesNotPutTheHostOutOfStep", {"bootloader", "fault=duplicate-ack:5"}, k7a1, Outcome::Success,
       [](const Seen& s) {
         EXPECT_TRUE(holds(s.host, s.job, 0, 20 * 128));
         EXPECT_TRUE(s.sink.logged(tx(230)));
       }},
      {"ALateBlockAcknowledgementOf32BitIsPassedByTheResend", {"bootloader32", "fault=late-ack:3"}, w3x, Outcome::Success,
       [](const Seen& s) {
         EXPECT_TRUE(sentTwice(s.requests, isp::longWriteBlockFrame(0x1000, {s.job.image.data() + 0x1000, 512})));
         EXPECT_TRUE(holds(s.host, s.job, 0x1000, static_cast<std::size_t>(s.job.programLength)));
         EXPECT_TRUE(s.sink.logged(tx(230)));
       },
       5000ms},
      {"ARefusedLoaderBlockIsSentAgain", {"bootloader", "family=K7A0", "fault=nak-loader:0"}, k7a0, Outcome::Success,
       [](const Seen& s) {
         EXPECT_TRUE(s.sink.loggedError(tx(293)));
         EXPECT_TRUE(sentTwice(s.requests, loaderBlock(0x000, 0)));
       }},
      {"TheDownloaderRefusingALoaderBlockGetsItAgain", {"downloader", "family=K7A0", "fault=nak-loader:2"}, k7a0, Outcome::Success,
       [](const Seen& s) {
         EXPECT_TRUE(s.sink.loggedError(tx(293)));
         EXPECT_TRUE(sentTwice(s.requests, loaderBlock(0x000, 2)));
       }},
      {"ARefusedFlashEraseEndsTheRun", {"bootloader", "fault=nak-erase"}, k7a1, Outcome::Failed,
       [](const Seen& s) {
         EXPECT_TRUE(s.sink.loggedError(base::text("isp.flash_erase_failed")));
         EXPECT_EQ(s.requests.back(), isp::eraseFlashFrame(false, 20));
         EXPECT_EQ(s.sink.texts().back(), tx(288));
       }},
      {"ARefusedXdataEraseEndsTheRun", {"bootloader", "family=K7A0", "fault=nak-erase"}, k7a0, Outcome::Failed,
       [](const Seen& s) {
         EXPECT_TRUE(s.sink.loggedError(base::text("isp.xdata_erase_failed")));
         EXPECT_EQ(s.requests.back(), isp::eraseXdataFrame());
       }},
      {"TheDownloaderRefusingTheEraseEndsTheRun", {"downloader", "fault=nak-erase"}, k7a1, Outcome::Failed,
       [](const Seen& s) {
         EXPECT_TRUE(s.sink.loggedError(base::text("isp.flash_erase_failed")));
         EXPECT_EQ(s.requests.back(), isp::eraseFlashFrame(false, 20));
       }},
      {"ARefusedPageEraseAfterARefusedBlockEndsTheRun", {"bootloader", "fault=nak-block:3", "fault=nak-erase-page"}, k7a1,
       Outcome::Failed,
       [](const Seen& s) {
         EXPECT_TRUE(s.sink.loggedError(tx(293)));
         EXPECT_TRUE(s.sink.loggedError(base::text("isp.flash_erase_failed")));
         EXPECT_EQ(s.requests.back(), isp::erasePageFrame(isp::kAreaFlash, 0));
       }},
      {"ARefusedRunBringsNoChecksumAndTheRunIsGivenUp", {"bootloader", "family=K7A0", "fault=nak-run"}, k7a0, Outcome::Failed,
       [](const Seen& s) {
         givenUp(s);
         EXPECT_EQ(s.requests.end()[-2], isp::runFrame());
         EXPECT_EQ(s.replies.back(), isp::ackReply(0x01));
       }},
      {"ARefused32BitEraseEndsTheRun", {"bootloader32", "fault=nak-erase"}, w3x, Outcome::Failed,
       [](const Seen& s) {
         EXPECT_TRUE(s.sink.logged(tx(287))) << ::testing::PrintToString(s.sink.texts());
         EXPECT_EQ(s.requests.back(), isp::longEraseApplicationFrame());
         EXPECT_EQ(s.sink.texts().back(), tx(288));
       },
       3000ms},  // past the twelve power-cycle tries of 100 ms
      {"ASyncAnswerWithItsHeaderConnects", {"bootloader", "fault=sync-header"}, k7a1, Outcome::Success,
       [](const Seen& s) { EXPECT_EQ(s.replies.front(), (Frame{0xAA, 'O', 'K', 0x5A})); }},
      {"TheDownloadersSyncAnswerWithItsHeaderConnects", {"downloader", "fault=sync-header"}, k7a1, Outcome::Success,
       [](const Seen& s) {
         EXPECT_EQ(s.replies.front(), (Frame{0xAA, 'O', 'K', 0xFF}));
         EXPECT_TRUE(s.sink.logged(tx(172)));
       }},
      // End is the 26th request, after the checksum request: its reports are lost, though the tool
      // programmed its target.
      {"TheDownloadersLostReportsLeaveItsTargetWrittenAndUnpowered", {"downloader", "fault=drop-reply:26"}, k7a1, Outcome::Failed,
       [](const Seen& s) {
         givenUp(s);
         EXPECT_TRUE(holds(s.host, s.job, 0, 20 * 128));
         EXPECT_EQ(s.host.targetPowered(), std::optional<bool>(false));
       }},
      // PowerCycleTarget, Identify, EraseApplication, six blocks (the Sync is not counted): the
      // tenth is VerifyRange.
      {"A32BitRunGivenUpAtItsChecksumReleasesTheTarget", {"downloader32", "fault=drop-reply:10"}, w3x, Outcome::Failed,
       [](const Seen& s) {
         givenUp(s, isp::longReleaseFrame());
         EXPECT_EQ(s.requests.end()[-2], isp::longVerifyRangeFrame(0x1000, static_cast<std::uint32_t>(s.job.programLength)));
         EXPECT_EQ(s.host.targetPowered(), std::optional<bool>(false));
       },
       1500ms},  // before the tool's own 2 s session time-out
  };
}

// The device's requests once it has read what the host sent last: the host may close its end
// with its last frame still on the line.
std::vector<Frame> settledRequests(const PtyHost& host) {
  std::vector<Frame> seen = host.requests();
  for (int quiet = 0, tries = 0; quiet < 2 && tries < 40; ++tries) {
    std::this_thread::sleep_for(50ms);
    std::vector<Frame> now = host.requests();
    quiet = now.size() == seen.size() ? quiet + 1 : 0;
    seen = std::move(now);
  }
  return seen;
}

class AgainstTheEngine : public ::testing::TestWithParam<HostCase> {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }
};

TEST_P(AgainstTheEngine, ShowsItsLinesAndBytes) {
  const HostCase& c = GetParam();
  PtyHost host(deviceFrom(c.words));
  ASSERT_TRUE(host.start());
  RecordingSink sink;
  isp::engine::IspRunner runner(sink, {host.path(), c.stall});
  const Outcome outcome = runner.program(c.job);
  EXPECT_EQ(outcome, c.outcome) << ::testing::PrintToString(sink.texts());
  const std::vector<Frame> requests = settledRequests(host);
  std::vector<Frame> replies;
  for (const auto& e : host.exchanges()) {
    if (e.direction == emulator::serial::Exchange::Direction::FromDevice) replies.push_back(e.bytes);
  }
  c.check({outcome, runner.stalled(), sink, c.job, requests, replies, host});
}

INSTANTIATE_TEST_SUITE_P(Faults, AgainstTheEngine, ::testing::ValuesIn(hostCases()),
                         [](const ::testing::TestParamInfo<HostCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace emuserialtest
