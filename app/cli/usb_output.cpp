#include "app/cli/usb_output.hpp"

#include <unistd.h>

#include <cstdio>

#include "app/cli/json.hpp"
#include "base/texts.hpp"

namespace cli {

UsbOutput::UsbOutput(bool json) : json_(json), colour_(::isatty(STDOUT_FILENO) != 0), bar_(!json) {}

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
  if (!json_ && inPhase_) bar_.update(percent);
}

void UsbOutput::onMessage(const std::string& caption, const std::string& text, base::MessageIcon) {
  messages_.push_back(caption.empty() ? text : caption + ": " + text);
  if (json_) return;
  bar_.clear();
  std::fprintf(stderr, "%s\n", messages_.back().c_str());
}

void UsbOutput::onPhase(usbjobs::Phase phase, std::uint64_t bytes) {
  inPhase_ = true;
  if (!json_) bar_.start(base::text(phase == usbjobs::Phase::Programming ? "usb.cli.programming" : "usb.cli.verifying"), bytes);
}

void UsbOutput::printJson(const std::string& verb, const std::string& model, const std::string& file,
                          const std::string& result, int exitStatus) const {
  std::printf("{\"verb\": %s, \"model\": %s, \"file\": %s, \"result\": %s, \"exitStatus\": %d, \"log\": [",
              jsonString(verb).c_str(), jsonString(model).c_str(), jsonString(file).c_str(), jsonString(result).c_str(),
              exitStatus);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::printf("%s{\"text\": %s, \"error\": %s}", i == 0 ? "" : ", ", jsonString(lines_[i].text).c_str(),
                lines_[i].error ? "true" : "false");
  }
  std::printf("], \"messages\": [");
  for (std::size_t i = 0; i < messages_.size(); ++i) {
    std::printf("%s%s", i == 0 ? "" : ", ", jsonString(messages_[i]).c_str());
  }
  std::printf("]}\n");
}

}  // namespace cli
