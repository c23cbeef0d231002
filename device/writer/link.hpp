#pragma once
// The Writer (qx::kVendorId, qx::kWriterProductId), the offline programmer of the production line, as raw
// 65-byte reports with report id 0. Discovery works as for the programmer: hidapi first, then any
// registered provider, so that the emulated Writer joins the lookup without device/ knowing it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qx::writer {

inline constexpr std::size_t kWriterReportSize = 65;

using Report = std::array<std::uint8_t, kWriterReportSize>;

enum class ReadResult { Got, Timeout, Failed };

class WriterLink {
 public:
  virtual ~WriterLink() = default;

  virtual bool open() = 0;
  virtual bool isOpen() const = 0;
  virtual void close() = 0;
  // One output report; false on failure, with the system's error code in lastErrorCode().
  virtual bool write(const Report& report) = 0;
  // Waits up to `timeoutMs` for one input report. Failed means the device is gone.
  virtual ReadResult read(Report& report, int timeoutMs) = 0;
  virtual std::uint32_t lastErrorCode() const = 0;

  // What the lookup learned: the device path (the key to open it) and its report lengths.
  std::string path;
  std::size_t inputReportLength = kWriterReportSize;
  std::size_t outputReportLength = kWriterReportSize;
};

using WriterProvider = std::function<std::vector<std::shared_ptr<WriterLink>>()>;

// Returns an id for removeWriterProvider. Providers are asked in the order they were added.
int addWriterProvider(WriterProvider provider);
void removeWriterProvider(int id);

// The attached Writers: hidapi's (unless hardware enumeration is off), then the providers'.
std::vector<std::shared_ptr<WriterLink>> enumerateWriters();
// The first Writer, optionally the one at `path`, that opens; null when there is none.
std::shared_ptr<WriterLink> openWriter(const std::string& path = {});

}  // namespace qx::writer
