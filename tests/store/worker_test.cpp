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
  // Each run takes the controls and gives them back; the same thread says both.
  EXPECT_EQ(sink.controls, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(sink.languages, std::vector<int>(4, base::kLangChinese));
  EXPECT_EQ(sink.rows.size(), 3u);
}

}  // namespace
}  // namespace storetest
