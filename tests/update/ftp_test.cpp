// Downloads from a real FTP server on a loopback port.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/support/temp_home.hpp"
#include "tests/update/ftp_fixture.hpp"
#include "update/firmware_files.hpp"
#include "update/ftp.hpp"

namespace {

using updatetest::FtpServer;

class FtpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(server.port(), 0) << "the loopback FTP server did not start";
    server.nameInConfiguration();
  }
  void TearDown() override { std::filesystem::remove_all(work); }

  static std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
  }

  testsupport::TempHome home;
  std::filesystem::path work = testsupport::makeTempDir("qx_ftp_work");
  FtpServer server{home.path() / "served"};
};

TEST_F(FtpTest, AFileArrivesWholeWithProgressFromZeroToAHundred) {
  const auto bytes = pattern(100000);
  server.publish("QubrixTool/fw.bin", bytes);
  std::vector<int> progress;
  ASSERT_TRUE(update::ftpDownloadFile("/QubrixTool/fw.bin", work / "fw_data", [&](int p) { progress.push_back(p); }));
  EXPECT_EQ(update::readWholeFile(work / "fw_data"), bytes);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(std::adjacent_find(progress.begin() + 1, progress.end()), progress.end()) << "a percentage repeated";
  EXPECT_EQ(update::ftpDownloadBuffer("/QubrixTool/fw.bin"), bytes);
}

TEST_F(FtpTest, FailuresLeaveNoLocalFile) {
  server.publish("cut.drop", pattern(300000));
  std::ofstream(work / "fw_data") << "an old download";
  const struct {
    const char* path;
    bool refuseLogin;
  } kCases[] = {{"/missing.bin", false}, {"/cut.drop", false}, {"/cut.drop", true}};
  for (const auto& c : kCases) {
    server.nameInConfiguration(c.refuseLogin ? "wrong" : FtpServer::kPassword);
    std::filesystem::remove(work / "fw_data");
    EXPECT_FALSE(update::ftpDownloadFile(c.path, work / "fw_data")) << c.path;
    EXPECT_FALSE(std::filesystem::exists(work / "fw_data")) << c.path;
    EXPECT_FALSE(std::filesystem::exists(work / "fw_data.part")) << c.path;
    EXPECT_TRUE(update::ftpDownloadBuffer(c.path).empty()) << c.path;
  }
}

TEST_F(FtpTest, AnEmptyFileIsAnEmptyDownload) {
  server.publish("empty.bin", std::vector<std::uint8_t>{});
  ASSERT_TRUE(update::ftpDownloadFile("/empty.bin", work / "fw_data"));
  EXPECT_EQ(std::filesystem::file_size(work / "fw_data"), 0u);
}

}  // namespace
