#include "app/cli/usb_output.hpp"

#include <unistd.h>

#include <cstdio>

#include "app/cli/json.hpp"
#include "app/cli/programmer_choice.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"

namespace cli {
namespace {

std::string quotedOrNull(const std::string& s) { return s.empty() ? "null" : jsonString(s); }

}  // namespace

UsbOutput::UsbOutput(bool json, ProgressCallback progress)
    : json_(json || progress), progress_(std::move(progress)), colour_(::isatty(STDOUT_FILENO) != 0), bar_(!json_) {}

void UsbOutput::onLog(const std::string& line, base::LogColour colour) {
  const bool error = colour == base::LogColour::Error;
  lines_.push_back({line, error});
  if (json_) return;
  bar_.clear();
  const bool red = error && colour_;
  std::printf("%s%s%s\n", red ? "\033[31m" : "", line.c_str(), red ? "\033[0m" : "");
  std::fflush(stdout);
}

void UsbOutput::onProgress(int percent) {
  // The bar belongs to a phase; the reset before the first one has nothing to show.
  if (!inPhase_) return;
  if (progress_) {
    progress_(phase_, percent);
  } else if (!json_) {
    bar_.update(percent);
  }
}

void UsbOutput::onMessage(const std::string& caption, const std::string& text, base::MessageIcon) {
  messages_.push_back(caption.empty() ? text : caption + ": " + text);
  if (json_) return;
  bar_.clear();
  std::fprintf(stderr, "%s\n", messages_.back().c_str());
}

void UsbOutput::onPhase(usbjobs::Phase phase, std::uint64_t bytes) {
  inPhase_ = true;
  phase_ = phase;
  if (progress_) progress_(phase, 0);
  if (!json_) bar_.start(base::text(phase == usbjobs::Phase::Programming ? "usb.cli.programming" : "usb.cli.verifying"), bytes);
}

void UsbOutput::setImage(std::uint32_t checksum, std::uint64_t size) {
  checksum_ = checksum;
  size_ = size;
}

std::string UsbOutput::lastComplaint() const {
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
    if (it->error) return it->text;
  }
  return messages_.empty() ? std::string() : messages_.back();
}

std::string UsbOutput::json(const Result& r) const {
  const usbjobs::RunFacts& f = facts_;
  std::string out = base::format("{\"verb\": %s, \"model\": %s, \"file\": %s, \"result\": %s, \"exitStatus\": %d",
                                 jsonString(r.verb).c_str(), jsonString(r.model).c_str(), jsonString(r.file).c_str(),
                                 jsonString(r.result).c_str(), r.exitStatus);
  out += ", \"checksum\": " + (checksum_ ? jsonString(base::format("%08X", *checksum_)) : std::string("null"));
  out += ", \"size\": " + (size_ ? std::to_string(*size_) : std::string("null"));
  out += base::format(", \"seconds\": %.3f", r.seconds);
  if (f.programmerSerial.empty()) {
    out += ", \"programmer\": null";
  } else {
    out += ", \"programmer\": {\"serial\": " + jsonString(f.programmerSerial) +
           ", \"sn\": " + jsonString(snText(f.programmerSerial)) + ", \"version\": " + quotedOrNull(f.firmwareVersion) + "}";
  }
  out += ", \"targetVoltage\": " + (f.targetVoltage ? base::format("%.2f", *f.targetVoltage) : std::string("null"));
  out += ", \"power\": " + (f.targetPowered ? jsonString(*f.targetPowered ? "on" : "off") : std::string("null"));
  const bool failed = r.exitStatus != 0;
  out += ", \"failedStep\": " + (failed ? quotedOrNull(f.failedStep) : std::string("null"));
  out += ", \"statusCode\": " + (failed && f.statusCode ? std::to_string(*f.statusCode) : std::string("null"));
  out += ", \"firstDifference\": " +
         (f.firstDifference ? jsonString(base::format("0x%08X", *f.firstDifference)) : std::string("null"));
  out += ", \"log\": [";
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    out += base::format("%s{\"text\": %s, \"error\": %s}", i == 0 ? "" : ", ", jsonString(lines_[i].text).c_str(),
                        lines_[i].error ? "true" : "false");
  }
  out += "], \"messages\": [";
  for (std::size_t i = 0; i < messages_.size(); ++i) out += (i == 0 ? "" : ", ") + jsonString(messages_[i]);
  return out + "]}";
}

}  // namespace cli
