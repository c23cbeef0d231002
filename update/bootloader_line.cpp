#include "update/bootloader_line.hpp"

#include "isp/ncomm.hpp"

namespace update {
namespace {

class SerialLine final : public BootloaderLine {
 public:
  bool Open(const std::string& path, std::uint32_t baud) override { return port_.Open(path, baud); }
  bool IsOpen() const override { return port_.IsOpen(); }
  std::size_t Read(void* buffer, std::size_t count) override { return port_.Read(buffer, count); }
  std::size_t Write(const void* buffer, std::size_t count) override { return port_.Write(buffer, count); }
  void Purge(isp::Queue which) override { port_.Purge(which); }
  void Close() override { port_.Close(); }

 private:
  isp::CnComm port_;
};

}  // namespace

std::unique_ptr<BootloaderLine> serialBootloaderLine() { return std::make_unique<SerialLine>(); }

}  // namespace update
