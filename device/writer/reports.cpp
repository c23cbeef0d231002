#include "device/writer/reports.hpp"

#include <algorithm>

#include "firmware/cipher/tea.hpp"
#include "firmware/mcu.hpp"

namespace qx::writer {
namespace {

constexpr std::size_t kModelNameLength = 15;
constexpr std::size_t kFileNameLength = 8;

Report command(std::uint8_t cmd, std::uint8_t sub) {
  Report r{};
  r[1] = cmd;
  r[2] = sub;
  return r;
}

}  // namespace

std::uint8_t ReportSum(const Report& report) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kSumByte; ++i) sum = static_cast<std::uint8_t>(sum + report[i]);
  return sum;
}

void Seal(Report& report) { report[kSumByte] = ReportSum(report); }

void PutBig16(Report& r, std::size_t at, std::uint32_t v) {
  r[at] = static_cast<std::uint8_t>(v >> 8);
  r[at + 1] = static_cast<std::uint8_t>(v);
}

void PutBig32(Report& r, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) r[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::uint32_t Big16(std::span<const std::uint8_t> r, std::size_t at) {
  return (std::uint32_t{r[at]} << 8) | r[at + 1];
}

std::uint32_t Big32(std::span<const std::uint8_t> r, std::size_t at) {
  return (std::uint32_t{r[at]} << 24) | (std::uint32_t{r[at + 1]} << 16) | (std::uint32_t{r[at + 2]} << 8) | r[at + 3];
}

void EncipherReport(Report& report) { cipher::TeaEncrypt(report.data() + 1, kWriterReportSize - 1, cipher::kBuiltInTeaKey); }

void DecipherReport(Report& report) { cipher::TeaDecrypt(report.data() + 1, kWriterReportSize - 1, cipher::kBuiltInTeaKey); }

Report StartReport(bool fromEncryptedFile) {
  Report r = command(kCmdControl, fromEncryptedFile ? kSubStartEncrypted : kSubStart);
  Seal(r);
  return r;
}

Report ChipInfoReport(const DownloadJob& job) {
  Report r = command(kCmdChipInfo, kSubChipInfo);
  const production::ProductionSettings& s = job.settings;
  PutBig16(r, 3, job.modelId);
  for (std::size_t i = 0; i < kModelNameLength; ++i) {
    r[5 + i] = i < job.modelName.size() ? static_cast<std::uint8_t>(job.modelName[i]) : ' ';
  }
  if (s.write_limit_num_enable) {
    r[20] = job.fromEncryptedFile ? 2 : 1;
    PutBig32(r, 21, s.write_num_max);
  }
  if (s.user_code_enable) {
    r[25] = 1;
    PutBig32(r, 26, s.user_code);
  }
  if (s.writer_ID_limit_enable) {
    r[30] = 2;
    PutBig32(r, 31, s.write_id_num);
  }
  r[35] = job.fromEncryptedFile ? 2 : 0;
  PutBig32(r, 36, job.fromEncryptedFile ? s.encrypt_file_id : job.totalChecksum);
  if (s.key_enable) {
    r[40] = 1;
    std::copy(s.key.begin(), s.key.end(), r.begin() + 41);
  }
  Seal(r);
  return r;
}

Report ControlReport(std::uint8_t sub) {
  Report r = command(kCmdControl, sub);
  Seal(r);
  return r;
}

Report LengthReport(const DownloadJob& job) {
  Report r;
  if (job.familyType == firmware::kFamily32Bit || job.familyType == firmware::kFamilyT4N3) {
    r = command(kCmdLength32, kSubLength);
    PutBig32(r, 3, job.length);
    PutBig32(r, 7, job.dataLength);
    PutBig32(r, 11, job.totalChecksum);
    PutBig32(r, 15, job.timeStamp);
  } else {
    r = command(kCmdLength16, kSubLength);
    PutBig16(r, 3, job.maxFileLength);
    PutBig16(r, 5, job.dataLength);
    PutBig32(r, 7, job.totalChecksum);
    PutBig32(r, 11, job.timeStamp);
  }
  Seal(r);
  return r;
}

Report DataPacket(const DownloadJob& job, std::uint32_t index) {
  Report r{};
  const std::size_t offset = std::size_t{index} * kPacketPayload;
  const std::size_t available = offset < job.bytes.size() ? job.bytes.size() - offset : 0;
  const std::size_t n = std::min(kPacketPayload, available);
  r[1] = static_cast<std::uint8_t>(n + 2);
  PutBig16(r, 2, index);
  std::copy_n(job.bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset, job.bytes.size())), n, r.begin() + 4);
  Seal(r);
  return r;
}

Report FileNameReport(const DownloadJob& job) {
  Report r = command(kCmdFileName, kSubFileName);
  for (std::size_t i = 0; i < kFileNameLength && i < job.fileName.size(); ++i) {
    r[3 + i] = static_cast<std::uint8_t>(job.fileName[i]);
  }
  r[32] = 1;
  Seal(r);
  return r;
}

Report ReportFromBytes(std::span<const std::uint8_t> bytes) {
  Report r{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), r.size()), r.begin());
  return r;
}

}  // namespace qx::writer
