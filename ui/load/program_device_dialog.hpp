#pragma once
// ProgramDeviceDialog: the small window of `qubrix-tool load -t MODEL FILE`. Its button programs the
// file's raw bytes into the target through the first programmer (usbjobs::runLoadProgram) on a
// worker thread; the log and the progress bar follow on the UI thread. The model is the one chosen
// in the lists, which open on the command line's model when the catalogue knows it; otherwise the
// button stays disabled until the user picks a model.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "device/jobs/log_file.hpp"
#include "device/jobs/worker.hpp"
#include "firmware/catalogue.hpp"

class QComboBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class ProgramDeviceDialog : public QDialog {
  Q_OBJECT

 public:
  // `log` (may be null) receives every log text as well.
  ProgramDeviceDialog(std::string target, std::string file, usbjobs::LogFile* log, QWidget* parent = nullptr);
  ~ProgramDeviceDialog() override;

  QComboBox* seriesList() const { return series_; }
  QComboBox* modelList() const { return models_; }
  QPlainTextEdit* logView() const { return log_; }
  QProgressBar* progressBar() const { return progress_; }
  QPushButton* programButton() const { return button_; }
  bool running() const { return worker_ != nullptr; }

  void appendLog(const std::string& text);
  void programDevice();

 signals:
  void runEnded(base::Outcome outcome);

 public slots:
  // While a run holds the programmer the window stays open.
  void done(int result) override;

 private:
  void fillModels();
  void selectModel(const std::string& name);
  void endRun(base::Outcome outcome);

  std::string target_;
  std::string file_;
  usbjobs::LogFile* logFile_;
  firmware::McuList catalogue_;
  std::vector<firmware::FamilyGroup> groups_;
  QComboBox* series_;
  QComboBox* models_;
  QPlainTextEdit* log_;
  QPushButton* button_;
  QProgressBar* progress_;
  std::unique_ptr<usbjobs::JobThread> worker_;
  bool modelPicked_ = false;
};
