#pragma once
// CFileManagerDialog ("Software Management"): the programs stored in the QUBRIX Tool, with the
// series and model that added HEX and BIN files are meant for, Refresh, Add (file dialog or dropped
// files), Delete, Default and the user code. A thin view over store::StoreSession; adds run on the
// session's AddWorker, so the dialog never waits while a file is stored, and every control that
// could start another operation is disabled until the queue is done.
#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "device/store/add_worker.hpp"
#include "device/store/store_session.hpp"
#include "firmware/catalogue.hpp"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTreeWidget;

class CFileManagerDialog : public QDialog {
  Q_OBJECT

 public:
  struct Services {
    // A line for the main window's log.
    std::function<void(const std::string& line, base::LogColour colour)> log;
    // A modal message box; tests record instead.
    std::function<void(const std::string& caption, const std::string& text, base::MessageIcon icon)> message;
    // The yes/no question before a delete.
    std::function<bool(const std::string& caption, const std::string& text)> confirm;
    // The open dialog; nothing when cancelled.
    std::function<std::optional<std::string>(const std::string& pipeFilter)> chooseFile;
    // The programmer; the first on the bus by default.
    store::StoreSession::ToolSource tool;
  };

  static constexpr int kColumnWidths[] = {180, 80, 120, 100, 130};

  // `models`: the main window's catalogue list, grouped into the series combo.
  CFileManagerDialog(firmware::McuList models, Services services, QWidget* parent = nullptr);
  ~CFileManagerDialog() override;

  // The list from the programmer; an outdated programmer closes the dialog.
  void refresh();
  void addByDialog();
  // Files as chosen or dropped; those of other kinds than .hex, .bin, .cab and .cap are ignored
  // when dropped.
  void addFiles(const std::vector<std::string>& paths);
  void deleteSelected();
  void makeSelectedDefault();
  bool adding() const { return worker_->busy(); }

  QTreeWidget* list() const { return list_; }
  QComboBox* seriesBox() const { return series_; }
  QComboBox* modelBox() const { return model_; }
  QPushButton* refreshButton() const { return refresh_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* defaultButton() const { return default_; }
  QCheckBox* userCodeCheck() const { return userCodeCheck_; }
  QLineEdit* userCodeEdit() const { return userCodeEdit_; }
  QProgressBar* progressBar() const { return progress_; }

 public slots:
  // While an add holds the programmer the dialog stays open.
  void done(int result) override;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class Sink;

  void buildControls();
  void fillSeries();
  void fillModels(int series);
  void showListing(const std::vector<store::StoreRow>& rows, const store::StoreButtons& buttons);
  // Off from the moment an add is queued until the worker's "done" has arrived here: no other
  // operation starts meanwhile.
  void setControlsEnabled(bool enabled);
  void showMessage(const std::string& caption, const std::string& text, base::MessageIcon icon);
  firmware::McuPtr selectedModel() const;
  std::vector<std::string> selectedNames() const;

  firmware::McuList models_;
  std::vector<firmware::FamilyGroup> groups_;
  Services services_;
  store::StoreButtons buttons_;
  bool controlsEnabled_ = true;

  QTreeWidget* list_ = nullptr;
  QComboBox* series_ = nullptr;
  QComboBox* model_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* default_ = nullptr;
  QCheckBox* userCodeCheck_ = nullptr;
  QLineEdit* userCodeEdit_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QProgressBar* progress_ = nullptr;

  std::unique_ptr<Sink> sink_;
  std::unique_ptr<store::StoreSession> session_;
  std::unique_ptr<store::AddWorker> worker_;
};
