#include "tests/writer/rig.hpp"

#include "base/texts.hpp"
#include "device/writer/reports.hpp"
#include "firmware/image.hpp"

namespace writertest {

bool RecordingSink::logged(const std::string& text) const {
  std::lock_guard lock(mutex);
  for (const Line& l : lines) {
    if (l.text == text) return true;
  }
  return false;
}

std::vector<std::string> RecordingSink::texts() const {
  std::lock_guard lock(mutex);
  std::vector<std::string> out;
  for (const Line& l : lines) out.push_back(l.text);
  return out;
}

bool RecordingSink::waitForEnd(std::chrono::seconds bound) {
  std::unique_lock lock(mutex);
  return ended.wait_for(lock, bound, [this] { return !outcomes.empty(); });
}

qx::writer::DownloadJob countingJob(std::uint32_t length, std::uint16_t familyType) {
  qx::writer::DownloadJob job;
  job.length = length;
  job.bytes.resize(length);
  for (std::uint32_t i = 0; i < length; ++i) job.bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  job.familyType = familyType;
  // A model the catalogue knows, of the 8-bit families unless the 32-bit type is asked for.
  job.modelId = familyType == 0x800 ? 0x8F09 : 0x505F;
  job.modelName = "QB51F16";
  job.maxFileLength = length;
  job.dataLength = length;
  job.totalChecksum = familyType == 0x800 ? firmware::WordXorChecksum(job.bytes, length)
                                          : firmware::ImageChecksum(job.bytes.data(), length);
  job.fileName = "blink";
  job.timeStamp = 26121015;
  return job;
}

Bench::Bench(emulator::writer::WriterConfig config) : writer(emulator::writer::EmulatedWriter::create(config)) {}

void Bench::download(const qx::writer::DownloadJob& job) {
  writer->receive(protocol.begin(job, now));
  exchange();
}

void Bench::exchange() {
  qx::writer::Report in{};
  while (writer->nextReply(in, 0) == qx::writer::ReadResult::Got) {
    if (const auto out = protocol.onReport(in, now)) writer->receive(*out);
  }
}

std::vector<qx::writer::Report> Bench::hostReports() const {
  std::vector<qx::writer::Report> out;
  for (const auto& e : writer->exchanges()) {
    if (e.fromHost) out.push_back(e.plain);
  }
  return out;
}

std::vector<qx::writer::Report> Bench::dataPackets() const {
  std::vector<qx::writer::Report> out;
  for (const auto& r : hostReports()) {
    if (r[1] >= 2 && r[1] <= 62) out.push_back(r);
  }
  return out;
}

}  // namespace writertest
