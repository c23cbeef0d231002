#pragma once
// The serial ISP engine: programs and verifies a target chip through a serial port, either by
// driving the chip's bootloader step by step or by handing the image to the QUBRIX Tool acting as
// serial downloader and following its reports. A state machine without threads of its own: the
// owner feeds every received byte to OnByte and every fired timer (ids 5, 6, 7 and 10) to OnTimer,
// all on one thread.
#include <cstdint>
#include <optional>
#include <string>

#include "base/timer.hpp"
#include "isp/engine/job.hpp"
#include "isp/engine/sink.hpp"
#include "isp/frames.hpp"
#include "isp/receivers.hpp"

namespace isp::engine {

class IspEngine {
 public:
  static constexpr int kTimerSync = 5;        // 16 ms: synchronisation bytes
  static constexpr int kTimerBaudReopen = 6;  // 10 ms: reopen the port at the new rate
  static constexpr int kTimerBaudConfirm = 7; // 10 ms: confirm the new rate
  static constexpr int kTimerLong = 10;       // 32-bit family: power cycle, Identify, block resend

  static constexpr base::Millis kSyncPeriod{16};
  static constexpr base::Millis kBaudStepPeriod{10};
  static constexpr base::Millis kLongPeriod{100};        // power cycle and Identify
  static constexpr base::Millis kLongBlockResend{1000};
  static constexpr base::Millis kCloseSettle{100};       // after closing the port
  static constexpr base::Millis kReopenWait{10};         // before reopening it
  static constexpr base::Millis kBaudSettle{100};        // around ConfirmBaud, bootloaders only
  static constexpr std::uint32_t kStartBaud = 1200;      // synchronisation and QueryVersion
  static constexpr std::uint8_t kLongBaudCode = 8;       // 115200 for the 32-bit family

  // The steps of a run (ispState); the numbers are those the traces and the tests know.
  enum State : int {
    kSync = 1,              // short and long frames: synchronising
    kSetBaud = 2,
    kLineTest = 3,
    kProgramStart = 4,
    kEraseFlash = 5,
    kWriteBlocks = 6,       // the image, or the loader of a Check
    kChecksum = 7,
    kEraseXdata = 60,       // before the loader
    kLoaderBlocks = 61,
    kToolReports = 100,     // the QUBRIX Tool programs the chip and reports
    kToolCheck = 102,       // the QUBRIX Tool checks the chip
    kIdentify = 200,        // long frames (32-bit family)
    kEraseApplication = 201,
    kWriteLongBlocks = 202,
    kVerifyRange = 203,
    kRelease = 204,
    kIdle = 255,
  };
  static constexpr int kPowerCycleTries = 12;
  // What the ISP panel requires of the programmer before it programs an encrypted file.
  static constexpr std::uint16_t kMinVersionForEncrypted = 516;

  IspEngine(IspLink& link, IspSink& sink, base::TimerService& timers);
  IspEngine(const IspEngine&) = delete;
  IspEngine& operator=(const IspEngine&) = delete;

  // Both return false when the run did not start; the reason went to the sink as a message box.
  bool StartProgram(IspJob job);
  bool StartVerify(IspJob job);
  // Ends a running operation as the user's cancel; always releases the image.
  void Cancel();
  void OnByte(std::uint8_t byte);
  void OnTimer(int id);

  // The port layer flagged an error while no frame was being sent (an adapter pulled mid-reply).
  void OnPortError();
  // A mode switch or a device removal ends a running operation with "Stop upgrading!".
  void AbortRun();
  // A run that stopped answering, given up by a host without a Cancel button: the device is told
  // to stop as Cancel tells it (Abort to a tool working alone, Release to a 32-bit target, End on
  // short frames), then the run ends as AbortRun ends it.
  void GiveUp();
  // A panel wants the port: the run, if any, ends without a word.
  void ReleasePort();

  // Opens the port at 1200 baud and asks the QUBRIX Tool for its firmware version; the answer
  // goes to IspSink::onProgrammerInfo and is kept in programmerVersion(). Only while idle.
  bool QueryVersion(VersionQuery asker);

  bool checkByTool() const { return checkByTool_; }
  void setCheckByTool(bool on) { checkByTool_ = on; }

  int state() const { return state_; }
  bool active() const { return active_; }
  bool downloaderMode() const { return downloader_; }
  bool verifyOnly() const { return verifyOnly_; }
  std::uint32_t blockIndex() const { return blockIndex_; }
  bool holdsImage() const { return job_.has_value(); }
  VersionQuery pendingQuery() const { return query_; }
  std::optional<std::uint16_t> programmerVersion() const { return version_; }
  std::optional<std::uint32_t> programmerSerial() const { return serial_; }

 private:
  enum class End { Finish, Abort, Cancel };

  bool start(IspJob job, bool verify);
  // What Cancel and GiveUp send first: Abort to a tool working alone, Release to a 32-bit target.
  void stopToolAndTarget();
  void dispatch(Bytes reply);
  void onQueryByte(std::uint8_t byte);

  // Short frames.
  void onSyncAnswer(Bytes reply);
  void onBaudAnswer(Bytes reply);
  void reopenAtNewRate();
  void confirmBaud();
  void onLineTest(Bytes reply);
  void onProgramStartAck(std::uint8_t status);
  void startLoader(State state);
  void onLoaderAck(std::uint8_t status);
  void eraseFlash();
  void onEraseAck(std::uint8_t status);
  void onBlockAck(std::uint8_t status);
  void afterLastBlock();
  void afterLoaderForCheck();
  void onStateSeven(Bytes reply);
  void sendImageBlock();
  void sendLoaderBlock();

  // QUBRIX Tool reports.
  void followToolReports();
  void onToolReport(Bytes reply);
  void onToolVerifyReport(Bytes reply);

  // 32-bit family type, long frames.
  void onPresence(Bytes reply);
  void proceedAfterPowerCycle();
  void onLongSync(std::uint8_t status);
  void onIdentification(Bytes reply);
  void onEraseApplication(std::uint8_t status);
  void onLongBlockAck(std::uint8_t status);
  void verifyRange();
  void onLongChecksum(Bytes reply);
  void onRelease(std::uint8_t status);
  void sendLongBlock();

  // Plumbing.
  bool send(const Frame& frame);
  void expect(ReplyKind kind, bool synchronising = false);
  void log(const std::string& text, base::LogColour colour = base::LogColour::Normal);
  void logText(int id, base::LogColour colour = base::LogColour::Normal);
  void logName(const char* name, base::LogColour colour = base::LogColour::Normal);
  void logTime(int id);
  double elapsedSeconds() const;
  void setRange(int low, int high);
  void setProgress(int position);
  void stepProgress();
  void stopTimers();
  void end(End how, base::Outcome outcome);
  void endOnPortError();
  bool running() const { return state_ != kIdle; }
  std::uint16_t familyType() const;
  bool longFamily() const { return dialect_ == Dialect::Long; }
  bool t4nFamily() const;
  std::uint8_t checkedKib() const;

  IspLink& link_;
  IspSink& sink_;
  base::TimerService& timers_;

  std::optional<IspJob> job_;
  Dialect dialect_ = Dialect::Short;
  int state_ = kIdle;
  bool active_ = false;
  bool downloader_ = false;
  bool checkByTool_ = true;
  bool verifyOnly_ = false;
  bool expectChecksum_ = false;
  bool powerCycleFirst_ = false;
  int powerCycleTries_ = 0;
  std::uint8_t pendingBaudCode_ = 0;
  int baudStep_ = 0;
  std::uint32_t blockIndex_ = 0;
  std::uint32_t blockCount_ = 0;
  bool rewritingPage_ = false;  // the next acknowledgement is the one of ErasePage
  bool checksumMatched_ = false;
  base::Millis startTick_{0};
  int progressLow_ = 0;
  int progressHigh_ = 100;
  int progress_ = 0;
  ReplyReceiver rx_;

  VersionQuery query_ = VersionQuery::None;
  ReplyReceiver queryRx_;
  std::optional<std::uint16_t> version_;
  std::optional<std::uint32_t> serial_;
};

}  // namespace isp::engine
