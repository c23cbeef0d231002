#pragma once
// What the receive pane shows for received bytes: each byte's display form (a hex pair or the
// character), packet headers after the packet timeout, line breaks after a number of bytes, and
// the clearing of a pane that grew too long. It keeps the received text (the display forms of the
// bytes since the last clear, which Save Data writes) and reports the pane's changes as runs of
// text, one call per fed chunk, so that a view can append them in batches.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "terminal/clock.hpp"

namespace terminal {

struct ReceiveOptions {
  bool hexDisplay = false;
  bool packetDisplay = false;
  int packetTimeoutMs = 50;
  int bytesPerLine = 0;  // hex display without packets: a line feed after this many bytes; 0: none
  bool autoClear = false;
};

// A piece of text appended to the pane; headers are red, everything else black.
struct DisplayRun {
  std::string text;
  bool header = false;
};

// The pane's changes for one fed chunk, in order: when `replaced` is set the pane's text was first
// replaced by `replacement` (a clear), then `runs` are appended.
struct DisplayUpdate {
  bool replaced = false;
  std::string replacement;
  std::vector<DisplayRun> runs;
  bool empty() const { return !replaced && runs.empty(); }
};

class ReceiveDisplay {
 public:
  static constexpr std::size_t kAutoClearLines = 500;
  static constexpr std::size_t kMaxLines = 10000;
  // Text beyond this many bytes is cleared like a pane of too many lines: a fast stream without
  // line feeds would otherwise grow the pane and the received text without bound.
  static constexpr std::size_t kMaxTextBytes = 4 * 1024 * 1024;

  ReceiveOptions& options() { return options_; }
  const ReceiveOptions& options() const { return options_; }

  // The bytes of one chunk, all arrived at `at`.
  DisplayUpdate feed(std::span<const std::uint8_t> bytes, const Stamp& at);
  // Empties the pane, the received text and the count.
  void clear();
  // Drops the count alone (packet display switched off).
  void resetCount() { count_ = 0; }
  // The pane alone was emptied (its context menu): the received text stays for Save Data.
  void paneEmptied();

  const std::string& receivedText() const { return received_; }
  std::uint64_t receivedCount() const { return count_; }
  // Lines of the pane as the view shows them (line feeds + 1).
  std::size_t paneLines() const { return lineFeeds_ + 1; }
  std::size_t paneBytes() const { return paneBytes_; }

 private:
  void appendForm(std::uint8_t byte, std::string& form);
  void put(DisplayUpdate& update, std::string_view text, bool header);
  void replaceWith(DisplayUpdate& update, const std::string& notice);

  ReceiveOptions options_;
  std::string received_;
  std::uint64_t count_ = 0;
  std::size_t lineFeeds_ = 0;
  std::size_t paneBytes_ = 0;
  bool inPacket_ = false;
  base::Millis packetStart_{0};
  // The first bytes of a UTF-8 character still waiting for the rest (text display).
  std::string pendingUtf8_;
  std::size_t pendingNeed_ = 0;
};

}  // namespace terminal
