// The job the window and the command line hand to the engine.
#include <gtest/gtest.h>

#include "firmware/catalogue.hpp"
#include "firmware/cipher/tea.hpp"
#include "firmware/production/header.hpp"
#include "isp/engine/job_from_image.hpp"

namespace ispenginetest {
namespace {

firmware::ProgramImage imageOf(std::size_t capacity, std::size_t dataLength) {
  firmware::ProgramImage image;
  image.m_MaxFileLength = capacity;
  image.data.assign(capacity + 256, 0xFF);
  for (std::size_t i = 0; i < dataLength; ++i) image.data[i] = static_cast<std::uint8_t>(i);
  image.dataLength = dataLength;
  image.programLength = static_cast<std::int64_t>((dataLength + 127) / 128 * 128);
  image.pageCount = static_cast<std::uint32_t>(image.programLength / 128);
  image.totalChecksum = firmware::ImageChecksum(image.data.data(), capacity);
  image.dataChecksum = firmware::ImageChecksum(image.data.data(), dataLength);
  return image;
}

TEST(JobFromImage, TakesTheModelTheLengthsAndTheChecksums) {
  const firmware::McuPtr model = firmware::Catalogue().front();
  ASSERT_NE(model, nullptr);
  const firmware::ProgramImage image = imageOf(model->flashSize, 300);
  isp::engine::JobOptions options;
  options.eraseChip = true;
  options.upgradeBaudCode = 11;
  const isp::engine::IspJob job = isp::engine::jobFromSource({image, model, nullptr}, options);
  EXPECT_EQ(job.image.size(), model->flashSize);  // not the 256 bytes a production file adds
  EXPECT_TRUE(std::equal(job.image.begin(), job.image.end(), image.data.begin()));
  EXPECT_EQ(job.mcuTypeIndex, firmware::TypeIndex(*model));
  EXPECT_EQ(job.modelId, model->model);
  EXPECT_EQ(job.internalName, model->internalName);
  EXPECT_EQ(job.pageCount, 3u);
  EXPECT_EQ(job.totalChecksum, image.totalChecksum);
  EXPECT_EQ(job.dataChecksum, image.dataChecksum);
  EXPECT_TRUE(job.eraseChip);
  EXPECT_EQ(job.upgradeBaudCode, 11);
  EXPECT_FALSE(job.productionFile);
  // The 32-bit identification is looked up in the catalogue.
  for (const firmware::McuPtr& m : firmware::Catalogue()) {
    EXPECT_EQ(job.typeIndexOfModel(m->model), firmware::TypeIndex(*firmware::FindByModel(m->model)));
  }
}

TEST(JobFromImage, DeciphersAnEncryptedImageAndCarriesTheProductionFields) {
  const firmware::McuPtr model = firmware::Catalogue().front();
  firmware::ProgramImage image = imageOf(model->flashSize, 1000);
  const std::vector<std::uint8_t> plain(image.data.begin(), image.data.begin() + model->flashSize);
  cipher::TeaEncrypt(image.data.data(), model->flashSize, cipher::kBuiltInTeaKey);
  image.fromEncryptedFile = true;
  image.enciphered = true;
  production::ProductionSettings settings;
  settings.write_limit_num_enable = true;
  settings.write_num_max = 5;
  production::ProductionHeader header;
  header.modelName = {'Q', 'B'};
  image.header = production::layoutHeader(header);
  const isp::engine::IspJob job = isp::engine::jobFromSource({image, model, &settings}, {});
  EXPECT_EQ(job.image, plain);
  EXPECT_TRUE(job.fromEncryptedFile);
  EXPECT_TRUE(job.productionFile);
  EXPECT_EQ(job.production.write_num_max, 5u);
  EXPECT_EQ(job.productionText, header.modelName);

  // The same .cab loaded outside ISP mode is held plain: its bytes go as they are.
  image.data.assign(plain.begin(), plain.end());
  image.enciphered = false;
  EXPECT_EQ(isp::engine::jobFromSource({image, model, &settings}, {}).image, plain);
}

TEST(JobFromImage, AnEncryptedFileWaitsForADownloaderThatKeepsItsLimits) {
  isp::engine::IspJob job;
  EXPECT_TRUE(isp::engine::encryptedFileAllowed(job, std::nullopt));
  job.fromEncryptedFile = true;
  EXPECT_FALSE(isp::engine::encryptedFileAllowed(job, std::nullopt));
  EXPECT_FALSE(isp::engine::encryptedFileAllowed(job, 515));
  EXPECT_TRUE(isp::engine::encryptedFileAllowed(job, 516));
}

}  // namespace
}  // namespace ispenginetest
