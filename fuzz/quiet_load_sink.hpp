#pragma once
// A LoadSink that swallows every report, for the harnesses of the loaders.
#include "firmware/loader.hpp"

namespace fuzzing {

class QuietLoadSink final : public firmware::LineLoadSink {
 public:
  explicit QuietLoadSink(firmware::IspPortChoice port = firmware::IspPortChoice::Usb) : port_(port) {}
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  firmware::IspPortChoice ispPortChoice() override { return port_; }

 private:
  firmware::IspPortChoice port_;
};

}  // namespace fuzzing
