#pragma once
// Records what an update check or procedure shows.
#include <algorithm>
#include <string>
#include <vector>

#include "update/update_sink.hpp"

namespace updatetest {

class RecordingSink : public update::UpdateSink {
 public:
  void onLog(const std::string& line, base::LogColour) override { log.push_back(line); }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    messages.push_back(caption + ": " + text);
    icons.push_back(icon);
  }
  void onProgress(int position) override { progress.push_back(position); }
  void onStatus(const std::string& text) override { statuses.push_back(text); }
  bool onQuestion(const std::string& caption, const std::string& text) override {
    questions.push_back(caption + ": " + text);
    return answerYes;
  }
  void onStarted() override { events.push_back("started"); }
  void onFinished() override { events.push_back("finished"); }
  void onCurrentVersion(const std::string& text) override { current = text; }
  void onSerialNumber(const std::string& text) override { serial = text; }
  void onLatestVersion(const std::string& text) override { latest = text; }
  void onUpdateEnabled(bool enabled) override { updateEnabled = enabled; }
  void onCheckEnabled(bool enabled) override { checkEnabled = enabled; }

  bool saidStatus(const std::string& text) const {
    return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
  }

  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<base::MessageIcon> icons;
  std::vector<int> progress;
  std::vector<std::string> statuses;
  std::vector<std::string> questions;
  std::vector<std::string> events;
  std::string current;
  std::string serial;
  std::string latest;
  bool updateEnabled = false;
  bool checkEnabled = true;
  bool answerYes = true;
};

}  // namespace updatetest
