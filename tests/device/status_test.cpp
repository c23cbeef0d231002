#include <gtest/gtest.h>

#include <string>

#include "base/texts.hpp"
#include "device/exceptions.hpp"

namespace {

struct Row {
  int code;
  const char* english;
  const char* chinese;
};

const Row kRows[] = {
    {0, "The operation was successful.", "操作成功。"},
    {1, "The operation failed.", "操作失败。"},
    {2, "Invalid operation.", "无效的操作。"},
    {3, "The target is not a power-off state.", "目标不是断电状态。"},
    {4, "Unknown MCU model.", "未知MCU型号。"},
    {5, "Unable to connect to the target.", "无法连接目标。"},
    {6, "Not connected to the target.", "未连接到目标。"},
    {7, "Model mismatch.", "型号不匹配。"},
    {8, "The target Flash cannot be read.", "无法读取目标Flash。"},
    {9, "The target Flash cannot be erased.", "无法擦除目标Flash。"},
    {10, "The target Flash cannot be written.", "无法写入目标Flash。"},
    {11, "The access is out of range.", "访问超出范围。"},
    {12, "Verification failed.", "校验失败。"},
    {16, "Invalid firmware name.", "无效的固件名称。"},
    {17, "The firmware already exists.", "固件已存在。"},
    {18, "Verification failed.", "校验失败。"},
    {19, "Overvoltage.", "过压。"},
    {20, "Overcurrent.", "过流。"},
    {161, "Failed to open.", "打开失败。"},
    {162, "The firmware name is too long.", "固件名称太长。"},
    {164, "Invalid firmware information area.", "无效的固件信息区。"},
    {165, "Data reading timeout.", "读数据超时。"},
    // Codes in no row fall back to the last row's Chinese text in both languages.
    {24, "读数据超时。", "读数据超时。"},
    {13, "读数据超时。", "读数据超时。"},
    {255, "读数据超时。", "读数据超时。"},
};

class StatusText : public testing::TestWithParam<Row> {
 protected:
  void TearDown() override { base::setThreadLanguage(base::kLangChinese); }
};

TEST_P(StatusText, FollowsTheThreadLanguage) {
  const Row& r = GetParam();
  base::setThreadLanguage(base::kLangEnglish);
  EXPECT_EQ(qx::statusMessage(r.code), r.english);
  base::setThreadLanguage(base::kLangChinese);
  EXPECT_EQ(qx::statusMessage(r.code), r.chinese);
}

INSTANTIATE_TEST_SUITE_P(AllRows, StatusText, testing::ValuesIn(kRows));

TEST(Exceptions, CarryCodeAndTheMessageOfTheRaisingThread) {
  base::setThreadLanguage(base::kLangEnglish);
  const qx::CommandException mismatch(7);
  base::setThreadLanguage(base::kLangChinese);
  EXPECT_STREQ(mismatch.what(), "Model mismatch.");
  EXPECT_EQ(mismatch.code(), 7);
  const qx::ReadTimeoutException timeout;
  EXPECT_STREQ(timeout.what(), "读数据超时。");
  EXPECT_EQ(timeout.code(), 165);
  const qx::DeviceException& base = timeout;
  EXPECT_EQ(base.code(), 165);
}

}  // namespace
