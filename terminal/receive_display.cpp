#include "terminal/receive_display.hpp"

#include <algorithm>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "terminal/hex_text.hpp"

namespace terminal {
namespace {

// UTF-8 length announced by a lead byte; 0 for a byte that cannot start a character.
std::size_t utf8Length(std::uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Whether `byte` may follow `pending` (overlong forms, surrogates and code points above U+10FFFF
// are refused at their second byte, as a decoder must).
bool continues(const std::string& pending, std::uint8_t byte) {
  if (byte < 0x80 || byte > 0xBF) return false;
  if (pending.size() != 1) return true;
  const auto lead = static_cast<std::uint8_t>(pending[0]);
  if (lead == 0xE0) return byte >= 0xA0;
  if (lead == 0xED) return byte <= 0x9F;
  if (lead == 0xF0) return byte >= 0x90;
  if (lead == 0xF4) return byte <= 0x8F;
  return true;
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Control characters other than tab, line feed and carriage return are shown as their Unicode
// control pictures (U+2400..U+2421): a NUL or an escape never reaches the pane raw.
void appendControlPicture(std::string& out, std::uint8_t byte) {
  const unsigned code = byte == 0x7F ? 0x2421 : 0x2400 + byte;
  out += static_cast<char>(0xE0 | (code >> 12));
  out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (code & 0x3F));
}

}  // namespace

void ReceiveDisplay::appendForm(std::uint8_t byte, std::string& form) {
  if (options_.hexDisplay) {
    appendHexPair(form, byte);
    return;
  }
  if (!pendingUtf8_.empty()) {
    if (continues(pendingUtf8_, byte)) {
      pendingUtf8_ += static_cast<char>(byte);
      if (pendingUtf8_.size() == pendingNeed_) {
        form += pendingUtf8_;
        pendingUtf8_.clear();
      }
      return;
    }
    form += kReplacement;
    pendingUtf8_.clear();
  }
  if (byte < 0x80) {
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F) {
      appendControlPicture(form, byte);
    } else {
      form += static_cast<char>(byte);
    }
    return;
  }
  pendingNeed_ = utf8Length(byte);
  if (pendingNeed_ == 0) {
    form += kReplacement;
  } else {
    pendingUtf8_ = static_cast<char>(byte);
  }
}

void ReceiveDisplay::put(DisplayUpdate& update, std::string_view text, bool header) {
  if (text.empty()) return;
  lineFeeds_ += static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  paneBytes_ += text.size();
  if (update.runs.empty() || update.runs.back().header != header) update.runs.push_back({{}, header});
  update.runs.back().text += text;
}

void ReceiveDisplay::replaceWith(DisplayUpdate& update, const std::string& notice) {
  update.replaced = true;
  update.replacement = notice;
  update.runs.clear();
  received_ = notice;
  count_ = 0;
  lineFeeds_ = static_cast<std::size_t>(std::count(notice.begin(), notice.end(), '\n'));
  paneBytes_ = notice.size();
  // The pane's last line is empty after the notice: the next byte starts a packet of its own.
  inPacket_ = false;
}

DisplayUpdate ReceiveDisplay::feed(std::span<const std::uint8_t> bytes, const Stamp& at) {
  DisplayUpdate update;
  std::string form;
  for (const std::uint8_t byte : bytes) {
    form.clear();
    appendForm(byte, form);
    received_ += form;
    ++count_;
    if (options_.packetDisplay) {
      const base::Millis elapsed = at.monotonic - packetStart_;
      if (!inPacket_ || elapsed.count() < 0 || elapsed.count() >= options_.packetTimeoutMs) {
        const LocalTime& t = at.local;
        put(update, base::format("\n[%.2d:%.2d:%.2d.%.3d]收<-- ", t.hour, t.minute, t.second, t.millisecond), true);
        packetStart_ = at.monotonic;
        inPacket_ = true;
      }
      put(update, form, false);
    } else {
      put(update, form, false);
      if (options_.bytesPerLine > 0 && options_.hexDisplay &&
          count_ % static_cast<std::uint64_t>(options_.bytesPerLine) == 0) {
        put(update, "\n", false);
      }
    }
    if (options_.autoClear && paneLines() >= kAutoClearLines) replaceWith(update, base::text("serial.cleared_500"));
    if (paneLines() > kMaxLines || paneBytes_ > kMaxTextBytes) replaceWith(update, base::text("serial.cleared_long"));
  }
  return update;
}

void ReceiveDisplay::paneEmptied() {
  lineFeeds_ = 0;
  paneBytes_ = 0;
  inPacket_ = false;
}

void ReceiveDisplay::clear() {
  received_.clear();
  count_ = 0;
  lineFeeds_ = 0;
  paneBytes_ = 0;
  inPacket_ = false;
  pendingUtf8_.clear();
}

}  // namespace terminal
