#pragma once
// The host side of the STM32 USART system bootloader (ST application note AN3155), through which a
// programmer reached on a serial line gets its whole flash rewritten. Every operation blocks until
// its answers came or its attempts are used up, and reports only by its result code.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "update/bootloader_line.hpp"

namespace update {

inline constexpr int kIntfOk = 0;
inline constexpr int kIntfWriteFailed = 28;
inline constexpr int kIntfErasePagesBFailed = 29;
inline constexpr int kIntfEraseAllFailed = 30;
inline constexpr int kIntfErasePagesAFailed = 36;
inline constexpr int kIntfReadFailed = 37;
inline constexpr int kIntfGoFailed = 38;
inline constexpr int kIntfVerifyDiffers = 39;
inline constexpr int kIntfPortNotOpened = 42;
inline constexpr int kIntfNoSync = 43;
inline constexpr int kIntfGetFailed = 44;
inline constexpr int kIntfGetIdFailed = 46;

inline constexpr std::uint8_t kAck = 0x79;
inline constexpr std::uint8_t kNack = 0x1F;
inline constexpr std::uint8_t kEraseCommand = 0x43;
inline constexpr std::uint8_t kExtendedEraseCommand = 0x44;

class QubrixUpdateIntf {
 public:
  // Over the serial port named at openBootloader.
  QubrixUpdateIntf();
  explicit QubrixUpdateIntf(std::unique_ptr<BootloaderLine> line);
  // Deletes the line, which closes it if it is still open.
  virtual ~QubrixUpdateIntf() = default;
  QubrixUpdateIntf(const QubrixUpdateIntf&) = delete;
  QubrixUpdateIntf& operator=(const QubrixUpdateIntf&) = delete;

  // The first call opens `portPath` at `baud`; later calls ignore both and re-synchronise on the open
  // line. Then 0x7F (a second time if nothing came), Get (learning the erase command) and Get ID.
  virtual int openBootloader(const std::string& portPath, std::uint32_t baud);
  virtual int closePort();
  // Length 1..256.
  virtual int writeBlock(std::uint32_t address, const std::uint8_t* data, std::size_t length);
  virtual int readBlock(std::uint32_t address, std::uint8_t* out, std::size_t length);
  // Entry count 1..126 of 2-byte entries, sent as given behind the lead byte 0x10 / 0x20.
  virtual int erasePagesA(const std::uint8_t* entries, std::size_t count);
  virtual int erasePagesB(const std::uint8_t* entries, std::size_t count);
  virtual int eraseAll();
  virtual int goAddress(std::uint32_t address);
  // Writes 16 bytes, re-synchronises and reads them back.
  virtual int writeVerify(std::uint32_t address, const std::uint8_t* data, std::size_t length);

  // 0x43 or 0x44 from the Get reply; 0 while none was learnt (the erase operations then fail
  // without sending anything, as no erase command is known to the bootloader).
  std::uint8_t eraseCommand() const { return eraseCommand_; }

 private:
  bool send(const std::uint8_t* bytes, std::size_t n);
  bool sendCommand(std::uint8_t code);
  bool sendAddress(std::uint32_t address);
  bool receive(std::uint8_t* out, std::size_t n, int attempts);
  bool expectAck();
  bool eraseFrame(const std::uint8_t* data, std::size_t n);
  int erasePages(std::uint8_t lead, const std::uint8_t* entries, std::size_t count, int failure);

  std::unique_ptr<BootloaderLine> line_;
  bool opened_ = false;
  std::uint8_t eraseCommand_ = 0;
};

}  // namespace update
