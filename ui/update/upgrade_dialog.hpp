#pragma once
// "QUBRIX Tool Update": the programmer firmware update window, a thin view over update/'s check
// and procedures. Check runs on the user-interface thread; Update and Local Update run on one
// worker thread, whose reports reach the window queued, in order. While an update runs the window
// cannot be closed: a half-written programmer is the worst outcome.
#include <QDialog>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "update/firmware_check.hpp"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;

class CQubrixToolUpgradeDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CQubrixToolUpgradeDialog(QWidget* parent = nullptr);
  ~CQubrixToolUpgradeDialog() override;

  // Called before the dialog closes and before a serial update: the main window closes its own
  // serial port so that the update can open the line.
  void setPortRelease(std::function<void()> release) { releasePort_ = std::move(release); }
  // Sends the downloader's QueryVersion on a port whose system bootloader did not answer a check
  // (by default on the line itself; the main window passes its own serial port).
  void setWakeDownloader(update::WakeDownloader wake) { wakeDownloader_ = std::move(wake); }
  // The folder for "fw_xml" and "fw_data" (the process's current directory by default).
  void setWorkDirectory(const std::filesystem::path& dir) { workDir_ = dir; }

  bool busy() const { return busy_; }
  // Rebuilds the port list, keeping the selected entry where it is still offered.
  void refreshPorts();

  // The actions of the buttons, for tests and for the command line of the window.
  void check();
  void startUpdate();
  void startLocalUpdate(const QString& file);

 signals:
  void updateStarted();
  void updateFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  class Sink;
  bool portSelected();
  bool usbSelected() const;
  std::string selectedPath() const;
  void startWorker(std::optional<std::filesystem::path> localFile);
  void onStarted();
  void onFinished();
  void setIdle();
  bool mayClose();

  QComboBox* portBox_ = nullptr;
  QToolButton* refresh_ = nullptr;
  QPushButton* check_ = nullptr;
  QPushButton* localUpdate_ = nullptr;
  QPushButton* update_ = nullptr;
  QLabel* current_ = nullptr;
  QLabel* serial_ = nullptr;
  QLabel* latest_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;

  Sink* sink_ = nullptr;
  std::optional<update::ManifestRecord> record_;
  std::filesystem::path workDir_;
  std::function<void()> releasePort_;
  update::WakeDownloader wakeDownloader_;
  bool busy_ = false;
  std::thread worker_;
};
