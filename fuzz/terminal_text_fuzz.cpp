// The serial assistant's text parsers and its receive pane on any bytes. The hex send line: a
// strict parse that succeeds formats and parses back to the same bytes, and any text's hex form
// parses back to its bytes. The receive pane fed arbitrary chunks: a chunk shows exactly what its
// bytes show one by one at the chunk's stamp (UTF-8 split across chunks included), the text shown
// is valid UTF-8 without raw control bytes, and the pane's counts match what was appended.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/invariant.hpp"
#include "terminal/hex_text.hpp"
#include "terminal/receive_display.hpp"

namespace {

// Strict UTF-8 (no overlong forms, surrogates or code points past U+10FFFF), and no control byte
// but tab, line feed and carriage return.
bool shownText(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    if (b < 0x80) {
      if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F) return false;
      ++i;
      continue;
    }
    std::size_t n = 0;
    std::uint32_t code = 0;
    if (b >= 0xC2 && b <= 0xDF) n = 2, code = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, code = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, code = b & 0x07;
    else return false;
    if (i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto c = static_cast<std::uint8_t>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = code << 6 | (c & 0x3F);
    }
    if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += n;
  }
  return true;
}

void hexText(std::string_view text) {
  const terminal::HexParse strict = terminal::parseHex(text, true);
  fuzzing::require(strict.error == terminal::HexError::None || strict.bytes.empty(), "an error leaves no bytes");
  if (strict.error == terminal::HexError::None) {
    const std::string formatted = terminal::formatHex(std::string_view(
        reinterpret_cast<const char*>(strict.bytes.data()), strict.bytes.size()));
    const terminal::HexParse again = terminal::parseHex(formatted, true);
    fuzzing::require(again.error == terminal::HexError::None && again.bytes == strict.bytes, "hex round trip");
  }
  const terminal::HexParse lenient = terminal::parseHex(text, false);
  fuzzing::require(lenient.error == terminal::HexError::None, "lenient parsing never fails");
  fuzzing::require(lenient.bytes.size() <= (text.size() + 1) / 2, "at most a byte per two characters");

  const terminal::HexParse own = terminal::parseHex(terminal::formatHex(text), true);
  fuzzing::require(own.error == terminal::HexError::None &&
                       std::equal(own.bytes.begin(), own.bytes.end(), text.begin(), text.end(),
                                  [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }),
                   "a text's hex form parses back to its bytes");
}

// The pane as a view would hold it.
struct Pane {
  std::string text;
  void apply(const terminal::DisplayUpdate& update) {
    if (update.replaced) text = update.replacement;
    for (const terminal::DisplayRun& run : update.runs) text += run.text;
  }
};

void receivePane(FuzzedDataProvider& in) {
  terminal::ReceiveDisplay chunked;
  terminal::ReceiveDisplay single;
  terminal::ReceiveOptions options;
  options.hexDisplay = in.ConsumeBool();
  options.packetDisplay = in.ConsumeBool();
  options.packetTimeoutMs = in.ConsumeIntegralInRange(1, 200);
  options.bytesPerLine = in.ConsumeIntegralInRange(0, 40);
  options.autoClear = in.ConsumeBool();
  chunked.options() = single.options() = options;
  Pane chunkedPane, singlePane;
  terminal::Stamp at;
  while (in.remaining_bytes() > 0) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) {
      const bool hex = !chunked.options().hexDisplay;
      chunked.options().hexDisplay = single.options().hexDisplay = hex;
    }
    at.monotonic += base::Millis(in.ConsumeIntegralInRange(0, 120));
    const std::vector<std::uint8_t> chunk = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(1, 24));
    chunkedPane.apply(chunked.feed(chunk, at));
    for (const std::uint8_t byte : chunk) singlePane.apply(single.feed(std::span(&byte, 1), at));
    fuzzing::require(chunkedPane.text == singlePane.text, "a chunk shows what its bytes show one by one");
    fuzzing::require(chunked.receivedText() == single.receivedText(), "the same received text");
    fuzzing::require(chunkedPane.text.size() == chunked.paneBytes(), "pane bytes counted");
    fuzzing::require(static_cast<std::size_t>(std::count(chunkedPane.text.begin(), chunkedPane.text.end(), '\n')) + 1 ==
                         chunked.paneLines(),
                     "pane lines counted");
    fuzzing::require(shownText(chunkedPane.text), "the pane shows valid UTF-8 without raw control bytes");
  }
  fuzzing::require(shownText(chunked.receivedText()), "the received text is valid UTF-8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  hexText(std::string_view(reinterpret_cast<const char*>(data), size));
  FuzzedDataProvider in(data, size);
  receivePane(in);
  return 0;
}
