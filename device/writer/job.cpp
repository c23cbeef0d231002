#include "device/writer/job.hpp"

#include <algorithm>
#include <ctime>

#include "base/texts.hpp"
#include "firmware/production/checks.hpp"

namespace qx::writer {

std::uint64_t DownloadLength(const firmware::ProgramImage& image, std::uint16_t modelCode) {
  return firmware::Is32BitType(modelCode) ? image.loadedLength : image.m_MaxFileLength;
}

DownloadJob MakeDownloadJob(const firmware::ProgramImage& image, const firmware::MCU& model, std::uint16_t modelCode,
                            const production::ProductionSettings& settings, const std::string& fileName,
                            std::uint32_t timeStamp) {
  DownloadJob job;
  job.length = static_cast<std::uint32_t>(DownloadLength(image, modelCode));
  // An image shorter than the download is erased flash beyond its end.
  job.bytes.assign(job.length, 0xFF);
  std::copy_n(image.data.begin(), std::min<std::size_t>(job.length, image.data.size()), job.bytes.begin());
  job.familyType = firmware::FamilyTypeOf(modelCode);
  job.modelId = model.model;
  job.modelName = model.name;
  job.maxFileLength = static_cast<std::uint32_t>(image.m_MaxFileLength);
  job.dataLength = static_cast<std::uint32_t>(image.dataLength);
  job.totalChecksum = image.totalChecksum;
  job.settings = settings;
  job.fromEncryptedFile = image.fromEncryptedFile;
  job.fileName = fileName;
  job.timeStamp = timeStamp;
  return job;
}

std::uint32_t TimeStampOf(int year, int month, int day, int hour) {
  return static_cast<std::uint32_t>((year % 100) * 1000000 + month * 10000 + day * 100 + hour);
}

std::uint32_t TimeStampNow() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return TimeStampOf(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour);
}

PacketPlan PlanPackets(std::uint32_t length) {
  return {length / 60, length % 60 == 0, length % 60};
}

std::optional<std::string> DownloadRefusal(const production::ProductionSettings& s, bool writerConnected) {
  if (s.key_enable && s.key_count < s.key.size()) return base::text("writer.key_length");
  if (s.write_limit_num_enable && s.write_num_max == 0) return base::text("writer.limit_zero");
  if (s.user_code_enable && s.user_code == 0) return base::text("writer.user_code_zero");
  if (s.writer_ID_limit_enable && s.write_id_digits < 8) return base::text("writer.writer_id_digits");
  if (!writerConnected) return base::text("writer.connect_writer");
  return std::nullopt;
}

}  // namespace qx::writer
