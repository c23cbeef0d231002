#pragma once
// An emulated programmer as the only device on the bus, a sink that records what the store
// session shows, and the files programs are added from.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/commands.hpp"
#include "device/enumerate.hpp"
#include "device/store/store_session.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "tests/support/temp_home.hpp"

namespace storetest {

namespace ep = emulator::programmer;

class RecordingSink : public store::StoreSink {
 public:
  void onLog(const std::string& line, base::LogColour colour) override {
    std::lock_guard lock(mutex);
    log.push_back((colour == base::LogColour::Error ? "[E] " : "") + line);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    std::lock_guard lock(mutex);
    messages.push_back(caption + ": " + text);
    lastIcon = icon;
  }
  void onProgress(int percent) override {
    std::lock_guard lock(mutex);
    progress.push_back(percent);
  }
  void onControlsEnabled(bool enabled) override {
    std::lock_guard lock(mutex);
    controls.push_back(enabled);
    languages.push_back(base::threadLanguage());
  }
  void onListing(const std::vector<store::StoreRow>& r, const store::StoreButtons& b) override {
    std::lock_guard lock(mutex);
    rows = r;
    buttons = b;
    ++listings;
  }
  bool logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
  std::string all() const {
    std::string out;
    for (const auto& l : log) out += l + "\n";
    for (const auto& m : messages) out += "[M] " + m + "\n";
    return out;
  }

  std::mutex mutex;
  std::vector<std::string> log;
  std::vector<std::string> messages;
  base::MessageIcon lastIcon = base::MessageIcon::Information;
  std::vector<int> progress;
  std::vector<bool> controls;
  std::vector<int> languages;
  std::vector<store::StoreRow> rows;
  store::StoreButtons buttons;
  int listings = 0;
};

class Bench {
 public:
  explicit Bench(ep::Config config = {}) : device(ep::EmulatedProgrammer::create(std::move(config))) {
    base::setThreadLanguage(base::kLangEnglish);
    qx::setHardwareEnumeration(false);
    provider_ = qx::addDeviceProvider([this] {
      std::vector<std::shared_ptr<qx::Interface>> found;
      if (auto link = device->attach()) found.push_back(std::move(link));
      return found;
    });
  }
  ~Bench() { qx::removeDeviceProvider(provider_); }
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  std::vector<ep::StoredFirmware> stored() {
    std::vector<ep::StoredFirmware> out;
    device->inspect([&](ep::ProgrammerModel& m) { out = m.persistent().store; });
    return out;
  }
  std::string active() {
    std::string out;
    device->inspect([&](ep::ProgrammerModel& m) { out = m.persistent().activeFirmware; });
    return out;
  }
  // `n` programs "p0".."p(n-1)" for QB51F16, straight into the device's store.
  void fill(std::size_t n, std::uint16_t modelId = 0x505F) {
    device->inspect([&](ep::ProgrammerModel& m) {
      for (std::size_t i = 0; i < n; ++i) {
        ep::StoredFirmware f;
        f.name = "p" + std::to_string(i);
        f.modelWord = modelId;
        f.data.assign(16, 0x11);
        m.persistent().store.push_back(f);
      }
    });
  }
  std::vector<std::uint8_t> ids() const {
    std::vector<std::uint8_t> out;
    for (const auto& e : device->log()) out.push_back(e.request[0]);
    return out;
  }
  std::filesystem::path write(const std::string& name, const std::string& contents) const {
    const std::filesystem::path path = home.path() / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }
  std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& contents) const {
    return write(name, std::string(contents.begin(), contents.end()));
  }

  testsupport::TempHome home;
  std::shared_ptr<ep::EmulatedProgrammer> device;

 private:
  int provider_;
};

}  // namespace storetest
