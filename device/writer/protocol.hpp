#pragma once
// The download's protocol states, without threads or devices: each reply read from the Writer goes
// in with the time, and the report to send next comes out, sealed and enciphered where due. States:
// 0 idle (offline status reports), 1 start sent, 8 model sent, 2 flash id asked, 3 length sent,
// 4 data packets, 5 last packet sent, 6 check code asked, 7 file name sent. Replies that do not fit
// the state are ignored; a download that waits longer than kReplyTimeout for its next step is
// abandoned with an error line.
#include <chrono>
#include <cstdint>
#include <optional>

#include "device/writer/job.hpp"
#include "device/writer/link.hpp"
#include "device/writer/sink.hpp"

namespace qx::writer {

using Millis = std::chrono::milliseconds;

class WriterProtocol {
 public:
  // The Writer answers each step within a few hundred milliseconds; its check code takes longest.
  static constexpr Millis kReplyTimeout{5000};

  explicit WriterProtocol(WriterSink& sink) : sink_(sink) {}

  // State 1; the start report, which always goes out plain.
  Report begin(DownloadJob job, Millis now);
  // The start report could not be written: the line, the message, state 0.
  void startFailed(std::uint32_t errorCode);
  // A report as read; the answer to write, if the state calls for one.
  std::optional<Report> onReport(Report in, Millis now);
  // A later report could not be written, or the Writer went away while a download ran.
  void sendFailed(std::uint32_t errorCode);
  void linkLost();
  // Back to idle at once; the Writer is not told.
  void cancel();
  // Abandons a download that waited too long; true when it did.
  bool checkTimeout(Millis now);

  int state() const { return state_; }
  bool downloading() const { return state_ != 0; }
  bool finished() const { return finished_; }
  std::uint32_t packetIndex() const { return packetIndex_; }
  std::uint32_t packetCount() const { return plan_.count; }

 private:
  void log(const char* name);
  void advance(int next, Millis now);
  Report outgoing(Report r) const;
  Report nextPacket();
  void offlineStatus(std::uint8_t code);
  void abandon(const std::string& line);

  WriterSink& sink_;
  DownloadJob job_;
  int state_ = 0;
  PacketPlan plan_;
  std::uint32_t packetIndex_ = 0;
  bool lastPacketSent_ = false;
  bool finished_ = false;
  bool encrypted_ = false;
  Millis lastStep_{0};
  std::optional<std::uint32_t> wrongCheckCode_;
};

// The log line and colour of an offline status code; none for codes the Writer does not send.
struct StatusLine {
  const char* text;
  bool error;
};
std::optional<StatusLine> OfflineStatusLine(std::uint8_t code);

}  // namespace qx::writer
