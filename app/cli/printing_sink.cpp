#include "app/cli/printing_sink.hpp"

#include <cstdio>

namespace cli {

void PrintingSink::onLog(const std::string& text, base::LogColour colour) {
  const bool error = colour == base::LogColour::Error;
  if (error) complained_ = true;
  if (quiet_ && !error) return;
  std::fprintf(error ? stderr : stdout, "%s\n", text.c_str());
}

void PrintingSink::onMessage(const std::string& caption, const std::string& text, base::MessageIcon) {
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  complained_ = true;
}

std::optional<std::filesystem::path> PrintingSink::askSavePath(const production::SaveDialog& dialog) {
  saved_ = savePath_ ? std::filesystem::path(*savePath_) : dialog.defaultName;
  return saved_;
}

}  // namespace cli
