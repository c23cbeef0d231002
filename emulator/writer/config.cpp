#include "emulator/writer/config.hpp"

#include <charconv>
#include <sstream>

namespace emulator::writer {
namespace {

constexpr Step kSteps[] = {Step::Start, Step::Model, Step::FlashId, Step::Length,
                           Step::Data,  Step::CheckCode, Step::FileName};

std::optional<unsigned> parseCount(const std::string& text) {
  unsigned v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

bool fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

std::string countText(const std::optional<unsigned>& v) { return v ? std::to_string(*v) : "none"; }

}  // namespace

const char* stepName(Step step) {
  switch (step) {
    case Step::Start: return "start";
    case Step::Model: return "model";
    case Step::FlashId: return "flash-id";
    case Step::Length: return "length";
    case Step::Data: return "data";
    case Step::CheckCode: return "check-code";
    case Step::FileName: return "file-name";
  }
  return "?";
}

std::optional<Step> stepFromName(const std::string& name) {
  for (Step s : kSteps) {
    if (name == stepName(s)) return s;
  }
  return std::nullopt;
}

std::vector<std::string> writerConfigKeys() {
  return {"pace", "silent-at", "check-code", "bad-packet", "unplug-after", "chip-error", "rounds"};
}

std::string formatWriterConfig(const WriterConfig& c) {
  std::ostringstream out;
  out << "pace=" << (c.paced ? "real" : "fast") << '\n'
      << "silent-at=" << (c.silentAt ? stepName(*c.silentAt) : "none") << '\n'
      << "check-code=" << (c.wrongCheckCode ? "wrong" : "right") << '\n'
      << "bad-packet=" << countText(c.badPacket) << '\n'
      << "unplug-after=" << countText(c.unplugAfter) << '\n'
      << "chip-error=" << c.chipError << '\n'
      << "rounds=" << (c.rounds < 0 ? std::string("endless") : std::to_string(c.rounds)) << '\n';
  return out.str();
}

bool setWriterConfigValue(WriterConfig& c, const std::string& key, const std::string& value, std::string& error) {
  if (key == "pace") {
    if (value != "real" && value != "fast") return fail(error, "real or fast");
    c.paced = value == "real";
  } else if (key == "silent-at") {
    if (value == "none") {
      c.silentAt.reset();
    } else if (const auto step = stepFromName(value)) {
      c.silentAt = step;
    } else {
      return fail(error, "none, start, model, flash-id, length, data, check-code or file-name");
    }
  } else if (key == "check-code") {
    if (value != "right" && value != "wrong") return fail(error, "right or wrong");
    c.wrongCheckCode = value == "wrong";
  } else if (key == "bad-packet" || key == "unplug-after") {
    std::optional<unsigned> v;
    if (value != "none") {
      v = parseCount(value);
      if (!v) return fail(error, "a count or none");
    }
    (key == "bad-packet" ? c.badPacket : c.unplugAfter) = v;
  } else if (key == "chip-error") {
    if (value != "0" && value != "1" && value != "2") return fail(error, "0, 1 or 2");
    c.chipError = value[0] - '0';
  } else if (key == "rounds") {
    if (value == "endless") {
      c.rounds = -1;
    } else if (const auto v = parseCount(value); v && *v < 1000) {
      c.rounds = static_cast<int>(*v);
    } else {
      return fail(error, "a count below 1000 or endless");
    }
  } else {
    error = "unknown key";
    return false;
  }
  return true;
}

WriterConfig parseWriterConfig(const std::string& text, const WriterConfig& defaults) {
  WriterConfig c = defaults;
  std::istringstream in(text);
  std::string line;
  std::string ignored;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    setWriterConfigValue(c, line.substr(0, eq), line.substr(eq + 1), ignored);
  }
  return c;
}

}  // namespace emulator::writer
