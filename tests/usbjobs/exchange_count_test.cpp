// 128 KiB programmed and verified with each erase-unit configuration takes exactly the exchanges
// the protocol needs: per unit an erase (unless erased up front), ⌈unit / 58⌉ cache writes and a
// burn, then ⌈unit / 58⌉ verifications; 100 progress updates per phase; and 16 fixed exchanges
// (identify, 4 screen set-up, connect, voltage, begin event, state 4, progress 0, state 7,
// progress 0, end event, disconnect, state 5, power off), one more for an up-front erase.
#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "tests/usbjobs/rig.hpp"

namespace usbjobstest {
namespace {

TEST(ExchangeCount, EqualsTheProtocolsMinimumForEachUnitConfiguration) {
  base::setThreadLanguage(base::kLangEnglish);
  struct Case {
    ep::EraseUnits kind;
    std::uint16_t size;
    bool eraseChip;
    std::size_t exchanges;
  };
  const Case cases[] = {
      {ep::EraseUnits::None, 0, false, 16 + 2048 * (1 + 2 + 1) + 2048 * 2 + 200},    // 12504
      {ep::EraseUnits::None, 0, true, 17 + 2048 * (2 + 1) + 2048 * 2 + 200},         // 10457
      {ep::EraseUnits::B, 256, false, 16 + 512 * (1 + 5 + 1) + 512 * 5 + 200},       // 6360
      {ep::EraseUnits::B, 256, true, 17 + 512 * (5 + 1) + 512 * 5 + 200},            // 5849
      {ep::EraseUnits::A, 512, false, 16 + 256 * (1 + 9 + 1) + 256 * 9 + 200},       // 5336
      {ep::EraseUnits::A, 512, true, 17 + 256 * (9 + 1) + 256 * 9 + 200},            // 5081
      {ep::EraseUnits::A, 1024, false, 16 + 128 * (1 + 18 + 1) + 128 * 18 + 200},    // 5080
      {ep::EraseUnits::A, 1024, true, 17 + 128 * (18 + 1) + 128 * 18 + 200},         // 4953
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.eraseChip ? " erase-chip" : ""));
    ep::Config config;
    config.eraseUnits = c.kind;
    config.eraseUnitSize = c.size;
    Rig rig(config);
    RecordingSink sink;
    usbjobs::UsbJob job = jobFor("QB59W128", 128 * 1024, 128 * 1024);
    job.eraseChip = c.eraseChip;
    ASSERT_EQ(usbjobs::runProgram(job, sink, rig.running), base::Outcome::Success) << sink.text();
    EXPECT_EQ(rig.device->log().size(), c.exchanges);
    EXPECT_EQ(rig.targetFlash(0, job.bytes.size()), job.bytes);
  }
}

}  // namespace
}  // namespace usbjobstest
