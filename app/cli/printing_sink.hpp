#pragma once
// The loader's and the production writer's reports on a terminal: log lines on stdout (error
// lines on stderr), message boxes on stderr as "[caption] text", labels kept for the verb.
#include <cstdint>
#include <optional>
#include <string>

#include "firmware/loader.hpp"
#include "firmware/production/writer.hpp"

namespace cli {

class PrintingSink final : public firmware::LoadSink, public production::WriteSink {
 public:
  // The path every save goes to; none takes the dialog's default name.
  explicit PrintingSink(std::optional<std::string> savePath = std::nullopt) : savePath_(std::move(savePath)) {}

  void onLog(const std::string& text, base::LogColour colour) override;
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override;
  void checksumLabel(const std::string& text) override { checksum_ = text; }
  void fileSizeLabel(const std::string& text) override { fileSize_ = text; }
  void showImage(std::span<const std::uint8_t>) override {}
  void fileNameField(const std::string&) override {}
  void modelSelected(std::uint16_t, const std::string& modelName) override { model_ = modelName; }
  std::optional<std::filesystem::path> askSavePath(const production::SaveDialog& dialog) override;

  // With --json, stdout holds only the result object: ordinary log lines are left out.
  void keepLinesQuiet() { quiet_ = true; }

  bool complained() const { return complained_; }
  const std::string& checksum() const { return checksum_; }
  const std::string& fileSize() const { return fileSize_; }
  const std::string& selectedModel() const { return model_; }
  const std::filesystem::path& savedPath() const { return saved_; }

 private:
  std::optional<std::string> savePath_;
  std::filesystem::path saved_;
  bool complained_ = false;
  bool quiet_ = false;
  std::string checksum_;
  std::string fileSize_;
  std::string model_;
};

}  // namespace cli
