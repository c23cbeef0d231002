// The store manager's dialog offscreen over the emulated programmer, and the main window's item
// that opens it.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "tests/firmware/hex_builder.hpp"
#include "tests/store/store_rig.hpp"
#include "ui/main/main_window.hpp"
#include "ui/store/file_manager_dialog.hpp"

namespace storetest {
namespace {

// QSettings fixes its folder on first use, so one scratch home serves every test here.
testsupport::TempHome& settingsHome() {
  static testsupport::TempHome h;
  return h;
}

// Lets queued reports arrive until `done` holds; the bound is far above any run's need.
bool waitFor(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QApplication::processEvents();
  return true;
}

class StoreDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    settingsHome();
    appsettings::storeLanguage(base::kLangEnglish);
    base::setThreadLanguage(base::kLangEnglish);
    appsettings::storeInt("SelectedSeries", 0);
    appsettings::storeInt("SelectedModel", 0);
  }

  std::unique_ptr<CFileManagerDialog> open(Bench&) {
    // The bench's own home moved the settings folder; the add worker reads the language from there.
    appsettings::storeLanguage(base::kLangEnglish);
    CFileManagerDialog::Services s;
    s.log = [this](const std::string& line, base::LogColour colour) {
      log.push_back((colour == base::LogColour::Error ? "[E] " : "") + line);
    };
    s.message = [this](const std::string& caption, const std::string& text, base::MessageIcon) {
      messages.push_back(caption + ": " + text);
    };
    s.confirm = [this](const std::string& caption, const std::string& text) {
      messages.push_back(caption + ": " + text);
      return answer;
    };
    s.chooseFile = [this](const std::string& filter) {
      filters.push_back(filter);
      return chosen;
    };
    return std::make_unique<CFileManagerDialog>(firmware::Catalogue(), std::move(s));
  }

  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> filters;
  std::optional<std::string> chosen;
  bool answer = true;
};

TEST_F(StoreDialog, ShowsTheStoredProgramsWithTheirColumnsAndButtons) {
  struct Case {
    std::size_t programs;
    bool add;
    bool remove;
  };
  for (const Case c : {Case{0, true, false}, Case{3, true, true}, Case{49, true, true}, Case{50, false, true}}) {
    SCOPED_TRACE(c.programs);
    Bench bench;
    bench.fill(c.programs);
    auto dialog = open(bench);
    EXPECT_EQ(dialog->windowTitle(), "Software Management");
    EXPECT_EQ(dialog->list()->topLevelItemCount(), static_cast<int>(c.programs));
    EXPECT_EQ(dialog->addButton()->isEnabled(), c.add);
    EXPECT_EQ(dialog->deleteButton()->isEnabled(), c.remove);
    EXPECT_EQ(dialog->defaultButton()->isEnabled(), c.remove);
    EXPECT_TRUE(dialog->refreshButton()->isEnabled());
  }
  Bench bench;
  bench.fill(1);
  auto dialog = open(bench);
  const QTreeWidgetItem* header = dialog->list()->headerItem();
  const char* names[] = {"Name", "Size", "Model", "Verify Code", "Time"};
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(header->text(c).toStdString(), names[c]);
    if (c < 4) {
      EXPECT_EQ(dialog->list()->columnWidth(c), CFileManagerDialog::kColumnWidths[c]);
    }
  }
  const QTreeWidgetItem* row = dialog->list()->topLevelItem(0);
  EXPECT_EQ(row->text(0), "p0");
  EXPECT_EQ(row->text(1), "16");
  EXPECT_EQ(row->text(2), "QB51F16");
}

TEST_F(StoreDialog, RemembersSeriesAndModel) {
  Bench bench;
  appsettings::storeInt("SelectedSeries", 2);
  appsettings::storeInt("SelectedModel", 1);
  {
    auto dialog = open(bench);
    EXPECT_EQ(dialog->seriesBox()->currentIndex(), 2);
    EXPECT_EQ(dialog->modelBox()->currentIndex(), 1);
    dialog->seriesBox()->activated(1);
    EXPECT_EQ(appsettings::storedInt("SelectedSeries", -1), 1);
    EXPECT_EQ(appsettings::storedInt("SelectedModel", -1), 0);
    dialog->modelBox()->activated(3);
    EXPECT_EQ(appsettings::storedInt("SelectedModel", -1), 3);
  }
  appsettings::storeInt("SelectedSeries", 999);
  auto dialog = open(bench);
  EXPECT_EQ(dialog->seriesBox()->currentIndex(), 0);
}

TEST_F(StoreDialog, AnAddRunsBesideTheWindowWithTheControlsOff) {
  Bench bench;
  bench.fill(2);
  auto dialog = open(bench);
  dialog->userCodeCheck()->setChecked(true);
  EXPECT_TRUE(dialog->userCodeEdit()->isEnabled());
  dialog->userCodeEdit()->setText("31");
  chosen = bench.write("pump.hex", fwtest::hexFile(fwtest::pattern(5000))).string();
  bench.device->clearLog();
  dialog->addButton()->click();
  ASSERT_EQ(filters, std::vector<std::string>{"Firmware files (*.bin;*.hex;*.cab;*.cap)|*.bin;*.hex;*.cab;*.cap||"});
  // The click has returned; until the worker's end arrives through the event loop, nothing else starts.
  for (QWidget* w : std::initializer_list<QWidget*>{dialog->refreshButton(), dialog->addButton(), dialog->deleteButton(),
                                                    dialog->defaultButton(), dialog->userCodeEdit(), dialog->seriesBox()}) {
    EXPECT_FALSE(w->isEnabled());
  }
  dialog->list()->topLevelItem(0)->setSelected(true);
  dialog->refresh();
  dialog->deleteSelected();
  dialog->makeSelectedDefault();
  ASSERT_TRUE(waitFor([&] { return !dialog->adding() && dialog->refreshButton()->isEnabled(); }));
  const auto ids = bench.ids();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), qx::cmd::kIdentify.id), 1) << "only the add opened the programmer";
  EXPECT_EQ(std::count(ids.begin(), ids.end(), qx::cmd::kFwDelete.id), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), qx::cmd::kFwSetActive.id), 1) << "the add's own";
  EXPECT_TRUE(messages.empty()) << "no delete question";
  EXPECT_EQ(dialog->list()->topLevelItemCount(), 3);
  EXPECT_EQ(dialog->progressBar()->value(), 100);
  EXPECT_EQ(log, std::vector<std::string>{"--> The firmware was added successfully."});
  EXPECT_TRUE(dialog->userCodeEdit()->isEnabled());
  ASSERT_EQ(bench.stored().size(), 3u);
  EXPECT_EQ(bench.stored()[2].userCode, 31u);
  EXPECT_EQ(bench.stored()[2].mcuName, "QB51F08");
}

TEST_F(StoreDialog, ABadUserCodeIsRefusedBeforeAnyFile) {
  Bench bench;
  auto dialog = open(bench);
  dialog->userCodeCheck()->setChecked(true);
  for (const char* text : {"", "-1", "12a", "4294967296"}) {
    SCOPED_TRACE(text);
    messages.clear();
    dialog->userCodeEdit()->setText(text);
    dialog->addFiles({bench.write("x.bin", fwtest::pattern(4)).string()});
    EXPECT_EQ(messages, std::vector<std::string>{"Tip: Invalid user code."});
    EXPECT_FALSE(dialog->adding());
  }
  EXPECT_TRUE(bench.stored().empty());
}

TEST_F(StoreDialog, DeleteAsksFirstAndDefaultSetsTheActiveProgram) {
  Bench bench;
  bench.fill(3);
  auto dialog = open(bench);
  dialog->list()->topLevelItem(1)->setSelected(true);
  answer = false;
  dialog->deleteButton()->click();
  EXPECT_EQ(messages, std::vector<std::string>{"Deletion confirmation: Are you sure to delete the selected firmware?"});
  EXPECT_EQ(bench.stored().size(), 3u);
  answer = true;
  dialog->deleteButton()->click();
  EXPECT_EQ(bench.stored().size(), 2u);
  EXPECT_EQ(dialog->list()->topLevelItemCount(), 2);
  EXPECT_EQ(log, std::vector<std::string>{"--> Deletion successful."});

  dialog->list()->topLevelItem(1)->setSelected(true);
  dialog->defaultButton()->click();
  EXPECT_EQ(bench.active(), "p2");
  EXPECT_EQ(log.back(), "--> The setting was successful.");
}

TEST_F(StoreDialog, AnOutdatedProgrammerClosesTheDialog) {
  ep::Config old;
  old.firmwareVersion = "1.0.2.1";
  Bench bench(old);
  auto dialog = open(bench);
  dialog->show();
  EXPECT_EQ(messages, std::vector<std::string>{"Tip: " + base::text("store.version_too_low")});
  ASSERT_TRUE(waitFor([&] { return !dialog->isVisible(); }));
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(StoreDialog, TheMainWindowsItemFollowsTheIspPortAndItsGuards) {
  int opened = 0;
  bool touching = false;
  std::vector<std::string> shown;
  std::vector<mainwin::AttachedProgrammer> attached;
  CQX58KT_UPGRADEDlg::Services services;
  services.lookups.programmers = [&] { return attached; };
  services.message = [&](const std::string& text, const std::string&, base::MessageIcon) { shown.push_back(text); };
  services.touchSessionBlocksStore = [&] { return touching; };
  services.openStoreManager = [&](QWidget*, const firmware::McuList& models) {
    ++opened;
    EXPECT_FALSE(models.empty());
  };
  CQX58KT_UPGRADEDlg window(std::move(services));
  QAction* item = window.findChild<QAction*>("main.menu.firmware");
  ASSERT_NE(item, nullptr);
  EXPECT_FALSE(item->isEnabled());
  window.SetStoreManagerEnabled(true);
  EXPECT_TRUE(window.storeManagerEnabled());

  item->trigger();
  EXPECT_EQ(shown, std::vector<std::string>{"The QUBRIX Tool was not found. Please insert it into your computer."});
  attached.push_back({"QUBRIX Tool", "439041101"});
  touching = true;
  item->trigger();
  EXPECT_EQ(opened, 0);
  touching = false;
  item->trigger();
  EXPECT_EQ(opened, 1);
  window.SetStoreManagerEnabled(false);
  EXPECT_FALSE(item->isEnabled());
}

}  // namespace
}  // namespace storetest
