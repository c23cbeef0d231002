// Which attached devices are refused for lack of permission, and the hint that says how to fix it.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "base/texts.hpp"
#include "device/access.hpp"

namespace {

TEST(DeviceAccess, OnlyProgrammersAndWritersRefusedForPermissionCount) {
  const std::vector<qx::HidNode> nodes = {
      {"/dev/hidraw0", 0x0125},  // programmer, refused
      {"/dev/hidraw1", 0x0123},  // Writer, refused by EPERM
      {"/dev/hidraw2", 0x0125},  // programmer, open
      {"/dev/hidraw3", 0x0125},  // unplugged meanwhile: not a permission matter
      {"/dev/hidraw4", 0x0999},  // another product of the vendor
  };
  const std::map<std::string, int> errors = {
      {"/dev/hidraw0", EACCES}, {"/dev/hidraw1", EPERM}, {"/dev/hidraw2", 0}, {"/dev/hidraw3", ENOENT}, {"/dev/hidraw4", EACCES}};
  const auto denied = qx::deniedAmong(nodes, [&](const std::string& path) { return errors.at(path); });
  ASSERT_EQ(denied.size(), 2u);
  EXPECT_EQ(denied[0].path, "/dev/hidraw0");
  EXPECT_EQ(denied[1].path, "/dev/hidraw1");
}

TEST(DeviceAccess, HintNamesEachDeviceAndTheFix) {
  base::setThreadLanguage(base::kLangEnglish);
  EXPECT_EQ(qx::permissionHint({}), "");
  const std::string hint = qx::permissionHint({{"/dev/hidraw0", 0x0125}, {"/dev/hidraw5", 0x0123}});
  EXPECT_NE(hint.find("The QUBRIX Tool is attached, but this user may not open /dev/hidraw0"), std::string::npos) << hint;
  EXPECT_NE(hint.find("The Writer is attached, but this user may not open /dev/hidraw5"), std::string::npos) << hint;
  EXPECT_NE(hint.find("qubrix udev-rules | sudo tee /etc/udev/rules.d/60-qubrix.rules"), std::string::npos) << hint;
  base::setThreadLanguage(base::kLangChinese);
  EXPECT_NE(qx::permissionHint({{"/dev/hidraw0", 0x0125}}).find("权限不足"), std::string::npos);
}

}  // namespace
