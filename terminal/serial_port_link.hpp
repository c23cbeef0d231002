#pragma once
// A terminal's own serial line over isp::CSerialPort. The port's reader thread hands bytes one by
// one; they are gathered here into chunks stamped with their arrival time, and the consumer's
// thread is woken once for whatever waits, so that the terminal takes bytes in batches, in order,
// on its own thread (the window's user-interface thread, or the command line's event loop).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "isp/serial_port.hpp"
#include "terminal/clock.hpp"
#include "terminal/terminal_core.hpp"

namespace terminal {

class SerialPortLink final : public TerminalPort, public isp::SerialPortSink {
 public:
  // `wake` runs on the reader thread (or a caller of write) and must not block: it posts a call of
  // deliver() to the consumer's thread.
  explicit SerialPortLink(std::function<void()> wake);
  ~SerialPortLink() override;

  void setLine(const std::string& path, std::uint32_t baud) override;

  std::string path() const override { return path_; }
  std::uint32_t baud() const override { return baud_; }
  bool open() override;
  void close() override;
  bool isOpen() const override { return port_.IsOpen(); }
  bool hasError() const override { return port_.HasError(); }
  bool write(std::span<const std::uint8_t> bytes) override;

  // On the consumer's thread: the waiting chunks into `core`, then the port's messages into `sink`,
  // then a lost line.
  void deliver(TerminalCore& core, TerminalSink& sink);

  // isp::SerialPortSink, on the reader thread.
  void onSerialByte(std::uint8_t byte) override;
  void onSerialMessage(const isp::SerialMessage& message) override;
  void onSerialErrorChanged(bool error) override;

 private:
  struct Chunk {
    Stamp at;
    std::vector<std::uint8_t> bytes;
  };
  void wakeLocked();

  std::function<void()> wake_;
  isp::CSerialPort port_;
  // The thread inside open() or write(): an error it meets there (a set-up step, a write without a
  // line) is reported by the port itself and leaves no line to lose; an error of the reader is a
  // line that went away.
  std::atomic<std::thread::id> caller_{};
  std::string path_;
  std::uint32_t baud_ = 19200;

  std::mutex mutex_;
  std::vector<Chunk> chunks_;
  std::vector<isp::SerialMessage> messages_;
  bool lost_ = false;
  bool wakePending_ = false;
  std::chrono::steady_clock::time_point chunkStart_{};
  SystemLocalClock clock_;
};

}  // namespace terminal
