#pragma once
// The event-driven serial port of the main window: one reader thread per open port hands every
// received byte, in order, to the owner; transmissions are queued to the same thread.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "isp/line.hpp"

namespace isp {

// A message box the owner shows on the port's behalf. An empty caption means the application's title.
struct SerialMessage {
  std::string caption;
  std::string text;
  bool errorIcon = false;
};

// The owner of a CSerialPort. onSerialByte runs on the reader thread, the others on whichever thread
// met the condition (the reader thread, or the caller of OpenAndConfigure/SendRaw). None of them may
// wait for the thread that calls Stop() or OpenAndConfigure(): marshal to the UI thread without
// blocking (a queued connection keeps the order). From a callback, SendRaw and Stop are safe;
// OpenAndConfigure and StartWorker refuse (false), and the port must not be destroyed there.
class SerialPortSink {
 public:
  virtual ~SerialPortSink() = default;
  virtual void onSerialByte(std::uint8_t byte) = 0;
  virtual void onSerialMessage(const SerialMessage& message) = 0;
  // The port-error flag was set (stop the serial assistant's timers 11 and 12) or cleared again by
  // the next write (refresh the control states).
  virtual void onSerialErrorChanged(bool error) = 0;
};

class CSerialPort {
 public:
  // Transmissions go out in pieces of at most this many bytes, as through the original write buffer.
  static constexpr std::size_t kWriteBufferSize = 1024;
  // A transmission that the line takes no byte of for this long is given up.
  static constexpr int kWriteStallMs = 1000;

  CSerialPort() = default;
  virtual ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Stops a running reader, closes an old line, clears the port-error flag, opens `path` and applies
  // the settings with both queues purged. A line that cannot be opened gives false without a message;
  // a set-up step that fails is traced, reported with the message box "串口驱动出现问题，请拔插串口..."
  // and sets the error flag, and the port stays open. The sink must outlive the open port.
  bool OpenAndConfigure(SerialPortSink* owner, const std::string& path, std::uint32_t baud, char parity = 'N',
                        int dataBits = 8, int stopBits = 1);
  // Starts the reader thread (purging both queues first); false when no line is open.
  bool StartWorker();
  // Ends the reader after sending what is already queued, and closes the line. From within a sink
  // callback it only asks the reader to end; the reader then closes the line itself.
  void Stop();

  // Queue one transmission of any length; it goes out whole, after every earlier one. Without an
  // open line: the message box "串口通信出错" and the error flag. A flag left from an earlier failure
  // is cleared first. Returns whether the bytes were queued.
  bool SendRaw(std::span<const std::uint8_t> bytes);
  // The serial assistant's text; UTF-8 is this platform's ANSI code page, so the bytes go as they are.
  bool SendText(std::string_view text);

  bool IsOpen() const { return fd_.load() >= 0; }
  bool IsWorkerRunning() const { return alive_.load(); }
  // The port-error flag: set by a failed set-up step, a failed read or write, a vanished line (an
  // adapter pulled) and a write without an open port.
  bool HasError() const { return error_.load(); }
  // The owner has dealt with the error (a link ended on it); the next write starts afresh.
  void ClearError();
  const std::string& Path() const { return path_; }
  // The rate the kernel holds for the open line, 0 when closed.
  std::uint32_t CurrentBaud() const;

 private:
  void run();
  bool deliverInput(std::vector<std::uint8_t>& chunk);
  enum class WriteStep { Idle, Progress, Blocked, Failed };
  WriteStep writePending();
  void dropStalled();
  void loseLine(bool reportAsFailure, const char* call, int err);
  void reportFailure(const char* call, int err);
  void setError();
  void wake();
  void joinWorker();
  void closeHandle();

  SerialPortSink* owner_ = nullptr;
  std::string path_;
  std::atomic<int> fd_{-1};
  int wakeFd_ = -1;
  std::thread worker_;
  std::atomic<bool> alive_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> error_{false};

  mutable std::mutex mutex_;  // guards the queue and the handle against the worker closing it
  std::deque<std::vector<std::uint8_t>> queue_;
  std::size_t sentOfFront_ = 0;
  std::chrono::steady_clock::time_point lastProgress_{};
};

}  // namespace isp
