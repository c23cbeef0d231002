#pragma once
// The byte line the STM32 bootloader host talks over: the serial port in the program, a scripted
// line in tests and harnesses, which then answer without the port's time-outs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "isp/line.hpp"

namespace update {

class BootloaderLine {
 public:
  virtual ~BootloaderLine() = default;
  virtual bool Open(const std::string& path, std::uint32_t baud) = 0;
  virtual bool IsOpen() const = 0;
  // As isp::CnComm: bytes read (0..count) within the line's time-outs; bytes written.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  virtual void Purge(isp::Queue which) = 0;
  virtual void Close() = 0;
};

// The serial port (isp::CnComm, 8E1).
std::unique_ptr<BootloaderLine> serialBootloaderLine();

}  // namespace update
