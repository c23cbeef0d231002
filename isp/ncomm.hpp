#pragma once
// A small synchronous serial port for the serial programmer-update interface: Open at a rate with
// 8 data bits, even parity and one stop bit, then blocking Read/Write with the original time-outs.
// A reader thread fills the input buffer, in place of the original's monitor thread and overlapped
// reads; nothing is notified to windows, as no caller registers a target.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "isp/line.hpp"

namespace isp {

class CnComm {
 public:
  // A byte queue in a chain of blocks: writing fills the last block's free space and appends one
  // block of max(minimum, rest) for the remainder; reading frees each block it empties, except a
  // lone block of at most four times the minimum, which is kept and reset. Thread-safe.
  class BlockBuffer {
   public:
    static constexpr std::size_t kDefaultMinBlock = 1024;
    explicit BlockBuffer(std::size_t minBlockSize = kDefaultMinBlock);

    void Write(const void* data, std::size_t length);
    std::size_t Read(void* out, std::size_t length);
    std::size_t Size() const;
    void Clear();

   private:
    struct Block {
      std::unique_ptr<std::uint8_t[]> bytes;
      std::size_t capacity = 0;
      std::size_t read = 0;
      std::size_t write = 0;
    };
    void releaseEmptyFront();

    std::size_t minBlock_;
    std::deque<Block> blocks_;
    std::size_t size_ = 0;
    mutable std::mutex mutex_;
  };

  // An attempt to read n bytes ends after kReadTotalConstantMs + n * kReadTotalPerByteMs in all, or
  // kReadIntervalMs after the latest byte once one has come; a write gives up after kWriteTotalMs.
  static constexpr int kReadIntervalMs = 20;
  static constexpr int kReadTotalConstantMs = 20;
  static constexpr int kReadTotalPerByteMs = 5;
  static constexpr int kWriteTotalMs = 300;
  // Received bytes beyond this wait in the driver, as with a full 4096-byte Windows queue plus room.
  static constexpr std::size_t kInputLimit = 64 * 1024;

  CnComm() = default;
  ~CnComm();
  CnComm(const CnComm&) = delete;
  CnComm& operator=(const CnComm&) = delete;

  // Opens the line at `baud`, 8E1, purged. An empty path or a zero rate fails without touching the
  // system; any later failure closes the port again.
  bool Open(const std::string& path, std::uint32_t baud);
  bool IsOpen() const { return fd_ >= 0; }
  // Bytes read (0..count) within the time-outs above. A pending line error (framing, parity,
  // overrun) is cleared first and empties the input, as the bytes before it cannot be trusted.
  std::size_t Read(void* buffer, std::size_t count);
  // Bytes written, 0 on failure or for count 0.
  std::size_t Write(const void* buffer, std::size_t count);
  void Purge(Queue which);
  void Close();

 private:
  void readerLoop();
  void stopReader();

  int fd_ = -1;
  int wakeFd_ = -1;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  LineErrorCounter lineErrors_;

  std::mutex mutex_;  // guards the input side for the condition variable
  std::condition_variable arrived_;
  BlockBuffer input_;
  bool lost_ = false;
  std::chrono::steady_clock::time_point lastArrival_{};
};

}  // namespace isp
