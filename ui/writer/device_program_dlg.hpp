#pragma once
// The Writer panel of the main window's Writer mode: the model and title, the production options
// (limit, user code, writer id, key), Generate, Download and Cancel. A thin view: the option rules
// live in writer_options, the download in qx::writer::WriterSession, whose reports arrive here
// queued onto the window's thread.
#include <QWidget>

#include <memory>

#include "ui/writer/panel_host.hpp"
#include "ui/writer/writer_options.hpp"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qx::writer {
class WriterSession;
}

class CDeviceProgramDlg : public QWidget {
  Q_OBJECT

 public:
  explicit CDeviceProgramDlg(writerpanel::PanelHost& host, QWidget* parent = nullptr);
  ~CDeviceProgramDlg() override;

  void SetModelName(const std::string& name);
  // Entering Writer mode (and the Writer menu item): the option controls reset.
  void EnterWriterMode();
  // After a file was loaded in any mode.
  void AfterFileLoaded(bool productionProject);
  // The receive thread reads reports only outside ISP mode.
  void SetReading(bool reading);

  void Download();
  void Cancel();
  void Generate();

  bool downloadEnabled() const;
  bool cancelEnabled() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class QueuedSink;
  struct Row {
    QCheckBox* box = nullptr;
    QLineEdit* edit = nullptr;
  };

  QWidget* buildOptions();
  Row addRow(QWidget* parent, const char* caption, const char* placeholder);
  void showOptions(const writerpanel::OptionView& view);
  void showRow(Row& row, const writerpanel::OptionRow& state);
  void onLimit();
  void onUserCode();
  void onWriterId();
  void onKey();
  void setControlsEnabled(bool enabled);

  writerpanel::PanelHost& host_;
  std::unique_ptr<QueuedSink> sink_;
  std::unique_ptr<qx::writer::WriterSession> session_;
  QLabel* model_ = nullptr;
  QLabel* title_ = nullptr;
  Row limit_;
  Row userCode_;
  Row writerId_;
  Row key_;
  QPushButton* generate_ = nullptr;
  QPushButton* download_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
