#pragma once
// Byte-at-a-time assembly of frames. ReplyReceiver is the engine's side: it knows the one reply the
// current state waits for, completes it only at exactly that length and then checks header, length,
// type and checksum. RequestReceiver is the device side, for the emulated bootloaders and downloader.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "isp/frames.hpp"

namespace isp {

enum class ReplyKind {
  None,                // nothing expected: bytes are only stored
  SyncAnswer,          // "OK" x (3 bytes) or AA "OK" x (4 bytes)
  BaudAnswer,          // AA 03 81 S C CHK, checksum not checked
  LineTest,            // 255 bytes, no checks (isLineTestPattern decides)
  Ack,                 // AA 03 80 S x CHK
  ChecksumReport,      // AA 06 82 00 43 C_H C_L x CHK
  ReadData,            // AA 84 82 00 area 80 + 128 + CHK
  DownloaderReport,    // AA 04 T F y C CHK with T = 80, 8C or 43
  ProgrammerInfo,      // AA 03 82 V_H V_L CHK or AA 05 82 SN CHK
  Presence,            // AA 01 80 81 or AA 01 81 80
  LongAck,             // AA 00 02 80 S CHK
  LongIdentification,  // AA 00 0E 82 ... (18 bytes)
  LongChecksum,        // AA 00 0B 83 ... (15 bytes)
  LongReadData,        // AA 02 06 84 ... (522 bytes)
};

enum class RxResult { NeedMore, Complete, Discarded };

class ReplyReceiver {
 public:
  // The receive buffer of the engine; the count restarts at 0 when it would pass this.
  static constexpr std::size_t kCapacity = 1000;

  // Waits for `kind` from an empty buffer. While `synchronising` (waiting for the first answer) a
  // first byte that cannot start the answer is dropped at once: anything but 0xAA, and for the
  // short-frame sync answer anything but 0xAA and 'O'. ProgrammerInfo always drops such bytes.
  void expect(ReplyKind kind, bool synchronising = false);
  ReplyKind expected() const { return kind_; }

  // Complete: bytes() holds exactly the reply, until the next push. Discarded: the bytes gathered so
  // far were dropped (a wrong header, length, type or checksum, or noise while synchronising).
  RxResult push(std::uint8_t byte);

  Bytes bytes() const { return {buffer_.data(), count_}; }
  std::size_t count() const { return count_; }
  void clear();

 private:
  std::size_t wantedLength() const;  // 0 while not yet known
  void realignAfterDiscard();
  bool valid() const;

  ReplyKind kind_ = ReplyKind::None;
  bool synchronising_ = false;
  bool complete_ = false;
  std::array<std::uint8_t, kCapacity> buffer_{};
  std::size_t count_ = 0;
};

// The requests as a bootloader or the downloader sees them. In the short dialect the raw
// synchronisation bytes C1 83 07 are recognised too. Bytes that cannot start a request, and frames
// with a zero length or a wrong checksum, are dropped.
class RequestReceiver {
 public:
  enum class Result { NeedMore, Request, Sync, Discarded };

  explicit RequestReceiver(Dialect dialect = Dialect::Short) : dialect_(dialect) {}
  void setDialect(Dialect dialect);
  Dialect dialect() const { return dialect_; }

  Result push(std::uint8_t byte);
  // After Request: the whole frame, its command and its data, until the next push.
  Bytes frame() const { return buffer_; }
  std::uint8_t command() const;
  Bytes data() const;
  void clear();

 private:
  Result start(std::uint8_t byte);

  Dialect dialect_;
  bool done_ = false;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace isp
