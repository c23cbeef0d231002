#pragma once
// A LoadSink that keeps everything the loader reports, and answers the port question as told.
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "firmware/loader.hpp"

namespace fwtest {

class RecordingSink final : public firmware::LoadSink {
 public:
  struct Box {
    std::string text, caption;
    base::MessageIcon icon;
  };
  void onLog(const std::string& text, base::LogColour colour) override { logs.emplace_back(text, colour); }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    boxes.push_back({text, caption, icon});
  }
  void checksumLabel(const std::string& text) override { checksums.push_back(text); }
  void fileSizeLabel(const std::string& text) override { sizes.push_back(text); }
  void showImage(std::span<const std::uint8_t> bytes) override { shown.emplace_back(bytes.begin(), bytes.end()); }
  void fileNameField(const std::string& text) override { fileNames.push_back(text); }
  void modelSelected(std::uint16_t code, const std::string& name) override { models.emplace_back(code, name); }
  firmware::IspPortChoice ispPortChoice() override { return port; }
  void askSerialProgrammerVersion() override { ++versionQueries; }

  std::vector<std::pair<std::string, base::LogColour>> logs;
  std::vector<Box> boxes;
  std::vector<std::string> checksums, sizes, fileNames;
  std::vector<std::vector<std::uint8_t>> shown;
  std::vector<std::pair<std::uint16_t, std::string>> models;
  firmware::IspPortChoice port = firmware::IspPortChoice::Usb;
  int versionQueries = 0;
};

}  // namespace fwtest
