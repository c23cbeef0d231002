// The add worker: queued files are added one by one on a thread in the user's language, and the
// controls are given back once the queue is empty.
#include <gtest/gtest.h>

#include "base/texts.hpp"
#include "device/store/add_worker.hpp"
#include "firmware/catalogue.hpp"
#include "tests/firmware/hex_builder.hpp"
#include "tests/store/store_rig.hpp"

namespace storetest {
namespace {

TEST(StoreWorker, AddsTheQueuedFilesInTheUsersLanguage) {
  Bench bench;
  RecordingSink sink;
  store::StoreSession session(firmware::Catalogue(), sink);
  const firmware::McuPtr model = firmware::FindByName("QB51F16");
  {
    store::AddWorker worker(session, base::kLangChinese);
    worker.enqueue({bench.write("one.bin", fwtest::pattern(700)), model, 0});
    worker.enqueue({bench.write("two.hex", fwtest::hexFile(fwtest::pattern(40))), model, 0});
    worker.enqueue({bench.write("empty.bin", std::string()), model, 0});
    worker.wait();
    EXPECT_FALSE(worker.busy());
    worker.enqueue({bench.write("three.bin", fwtest::pattern(3)), model, 0});
  }
  const auto stored = bench.stored();
  ASSERT_EQ(stored.size(), 3u) << sink.all();
  EXPECT_EQ(stored[0].name, "one");
  EXPECT_EQ(stored[1].name, "two");
  EXPECT_EQ(stored[2].name, "three");
  EXPECT_EQ(sink.messages, std::vector<std::string>{"提示: 请选择有效的固件。"});
  EXPECT_EQ(sink.log.back(), "--> 固件添加成功。");
  // Each run takes the controls and gives them back, in the user's language. The first batch may
  // take one run or several: the thread may empty the queue before the next file is queued.
  ASSERT_GE(sink.controls.size(), 4u);
  ASSERT_EQ(sink.controls.size() % 2, 0u);
  for (std::size_t i = 0; i < sink.controls.size(); ++i) EXPECT_EQ(sink.controls[i], i % 2 == 1) << i;
  EXPECT_EQ(sink.languages, std::vector<int>(sink.controls.size(), base::kLangChinese));
  EXPECT_EQ(sink.rows.size(), 3u);
}

}  // namespace
}  // namespace storetest
