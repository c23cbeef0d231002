#include "isp/port_list.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/support/temp_home.hpp"

namespace isp {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// A small /sys/class/tty and /dev: two USB adapters, a real and a phantom 8250 port, a virtual
// console without a device, and an adapter whose node is missing from /dev.
class FakeSysfs : public testing::Test {
 protected:
  void SetUp() override {
    root = testsupport::makeTempDir("isp-ports");
    const fs::path devices = root / "devices";
    const fs::path cp2102 = devices / "usb1" / "1-2";
    writeFile(cp2102 / "idVendor", "10c4");
    writeFile(cp2102 / "idProduct", "ea60");
    writeFile(cp2102 / "product", "CP2102N USB to UART Bridge Controller");
    fs::create_directories(cp2102 / "1-2:1.0" / "ttyUSB2");
    const fs::path ch340 = devices / "usb1" / "1-3";
    writeFile(ch340 / "idVendor", "1a86");
    writeFile(ch340 / "idProduct", "7523");
    fs::create_directories(ch340 / "1-3:1.0" / "ttyUSB10");
    fs::create_directories(devices / "pnp0" / "00:01");
    fs::create_directories(devices / "platform" / "serial8250");

    tty = root / "class" / "tty";
    addTty("ttyUSB2", cp2102 / "1-2:1.0" / "ttyUSB2");
    addTty("ttyUSB10", ch340 / "1-3:1.0" / "ttyUSB10");
    addTty("ttyS0", devices / "pnp0" / "00:01", "4");
    addTty("ttyS1", devices / "platform" / "serial8250", "0");
    addTty("tty0", {});
    addTty("ttyACM0", devices / "pnp0" / "00:01");
    fs::remove(root / "dev" / "ttyACM0");

    options.sysClassTty = tty;
    options.devDir = root / "dev";
    options.includeEmulated = false;
    options.emulatedFile = root / "run" / "emulated-ports";
  }
  void TearDown() override { fs::remove_all(root); }

  void addTty(const std::string& name, const fs::path& device, const std::string& type = "") {
    fs::create_directories(tty / name);
    if (!device.empty()) fs::create_directory_symlink(device, tty / name / "device");
    if (!type.empty()) writeFile(tty / name / "type", type);
    writeFile(root / "dev" / name, "");
  }
  std::string dev(const std::string& name) const { return (root / "dev" / name).string(); }

  fs::path root;
  fs::path tty;
  PortScanOptions options;
};

TEST_F(FakeSysfs, ListsHardwarePortsSortedWithTheirAdapters) {
  const std::vector<PortInfo> ports = listSerialPorts(options);
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].path, dev("ttyS0"));
  EXPECT_EQ(ports[0].usbVendor, 0);
  EXPECT_TRUE(ports[0].product.empty());
  EXPECT_EQ(ports[1].path, dev("ttyUSB2"));
  EXPECT_EQ(ports[1].name, "ttyUSB2");
  EXPECT_EQ(ports[1].product, "CP2102N USB to UART Bridge Controller");
  EXPECT_EQ(ports[1].usbVendor, 0x10c4);
  EXPECT_EQ(ports[1].usbProduct, 0xea60);
  EXPECT_EQ(ports[2].path, dev("ttyUSB10")) << "the second adapter precedes the tenth";
  EXPECT_EQ(ports[2].product, "CH340 USB to serial") << "known adapters without a product string";
  EXPECT_EQ(portLabel(ports[1]), dev("ttyUSB2") + " (CP2102N USB to UART Bridge Controller, 10c4:ea60)");
  EXPECT_EQ(portLabel(ports[0]), dev("ttyS0"));
}

TEST_F(FakeSysfs, EmulatedPortsOnlyWhenEmulating) {
  writeFile(root / "dev" / "pts" / "7", "");
  const std::vector<PortInfo> emulated{
      {dev("pts/7"), "7", "Emulated K7A bootloader", 0, 0, true},
      {dev("ttyUSB2"), "ttyUSB2", "duplicate of a hardware port", 0, 0, true},
      {(root / "gone").string(), "gone", "stale entry", 0, 0, true},
  };
  ASSERT_TRUE(writeEmulatedPorts(emulated, options.emulatedFile));
  EXPECT_EQ(listSerialPorts(options).size(), 3u);

  options.includeEmulated = true;
  const std::vector<PortInfo> ports = listSerialPorts(options);
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0].path, dev("pts/7")) << "same length as ttyS0, earlier text";
  EXPECT_TRUE(ports[0].emulated);
  EXPECT_EQ(ports[0].product, "Emulated K7A bootloader");
  EXPECT_EQ(ports[1].path, dev("ttyS0"));
  EXPECT_EQ(ports[2].path, dev("ttyUSB2"));
  EXPECT_FALSE(ports[2].emulated) << "the hardware entry wins over its duplicate";

  ASSERT_TRUE(writeEmulatedPorts({}, options.emulatedFile));
  EXPECT_FALSE(fs::exists(options.emulatedFile));
  EXPECT_EQ(listSerialPorts(options).size(), 3u);
}

TEST(PortList, EmulatedPortsFileFollowsTheRuntimeDirectory) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(emulatedPortsFile(), fs::path("/run/user/4242/QUBRIX/emulated-ports"));
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(emulatedPortsFile().filename(), "emulated-ports");
  EXPECT_EQ(emulatedPortsFile().parent_path().parent_path(), fs::temp_directory_path());
  if (old != nullptr) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

TEST(PortList, MissingSysfsGivesAnEmptyList) {
  PortScanOptions options;
  options.sysClassTty = "/nonexistent/class/tty";
  options.includeEmulated = false;
  EXPECT_TRUE(listSerialPorts(options).empty());
}

}  // namespace
}  // namespace isp
