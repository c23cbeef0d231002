#include "isp/frames.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "isp/replies.hpp"

namespace isp {
namespace {

Frame bytes(std::initializer_list<int> list) {
  Frame f;
  for (int b : list) f.push_back(static_cast<std::uint8_t>(b));
  return f;
}

struct FixedFrame {
  const char* name;
  Frame built;
  Frame expected;
};

TEST(IspFrames, FixedRequestsAreByteExact) {
  const FixedFrame cases[] = {
      {"SetBaud to the tool", setBaudFrame(kBaudCodeTool), bytes({0x55, 0x02, 0x01, 0x0A, 0x09})},
      {"SetBaud code 5", setBaudFrame(5), bytes({0x55, 0x02, 0x01, 0x05, 0x06})},
      {"ConfirmBaud", confirmBaudFrame(), bytes({0x55, 0x01, 0x02, 0x03})},
      {"Run", runFrame(), bytes({0x55, 0x04, 0x03, 0x00, 0x80, 0x08, 0x8F})},
      {"Run after XDATA", runFrame(true), bytes({0x55, 0x04, 0x03, 0x00, 0x80, 0x0B, 0x8C})},
      {"Erase IFB", eraseIfbFrame(), bytes({0x55, 0x02, 0x05, 0x2B, 0x2C})},
      {"Erase XDATA", eraseXdataFrame(), bytes({0x55, 0x02, 0x05, 0x04, 0x03})},
      {"Erase FLASH", eraseFlashFrame(true, 0x0123), bytes({0x55, 0x06, 0x05, 0x28, 0x45, 0x01, 0x01, 0x23, 0x4D})},
      {"End", endFrame(), bytes({0x55, 0x01, 0x07, 0x06})},
      {"ReadBlock", readBlockFrame(kAreaFlash, 2), bytes({0x55, 0x06, 0x08, 0x28, 0x00, 0x01, 0x00, 0x80, 0xA7})},
      {"ChecksumRequest", checksumRequestFrame(16), bytes({0x55, 0x06, 0x08, 0x43, 0x00, 0x00, 0x00, 0x10, 0x5D})},
      {"EnableRead", enableReadFrame(), bytes({0x55, 0x02, 0x09, 0xA5, 0xAE})},
      {"ErasePage 1", erasePageFrame(kAreaFlash, 1), bytes({0x55, 0x05, 0x0A, 0x28, 0x00, 0x04, 0x00, 0x23})},
      {"Abort", abortFrame(), bytes({0x55, 0x01, 0x10, 0x11})},
      {"PowerCycleTarget", powerCycleTargetFrame(), bytes({0x55, 0x01, 0x22, 0x23})},
      {"QueryVersion", queryVersionFrame(), bytes({0x55, 0x01, 0x44, 0x45})},
      {"short sync", syncBytes(Dialect::Short), bytes({0xC1, 0x83, 0x07})},
      {"long sync", syncBytes(Dialect::Long), bytes({0x55, 0x00, 0x01, 0x01, 0x00})},
      {"long Release", longReleaseFrame(), bytes({0x55, 0x00, 0x01, 0x02, 0x03})},
      {"long Identify", longIdentifyFrame(), bytes({0x55, 0x00, 0x01, 0x03, 0x02})},
      {"long frame 0x03", longRequest(0x03), bytes({0x55, 0x00, 0x01, 0x03, 0x02})},
      {"long EraseApplication", longEraseApplicationFrame(), bytes({0x55, 0x00, 0x01, 0x05, 0x04})},
      {"long VerifyRange", longVerifyRangeFrame(0x001000, 0x020000),
       bytes({0x55, 0x00, 0x07, 0x07, 0x00, 0x10, 0x00, 0x02, 0x00, 0x00, 0x12})},
      {"long ReadBlock", longReadBlockFrame(0x001200),
       bytes({0x55, 0x00, 0x06, 0x08, 0x00, 0x12, 0x00, 0x02, 0x00, 0x1E})},
  };
  for (const FixedFrame& c : cases) EXPECT_EQ(c.built, c.expected) << c.name;
}

TEST(IspFrames, ChecksumIsXorBetweenHeaderAndLastByte) {
  EXPECT_EQ(frameChecksum(bytes({0x55, 0x02, 0x01, 0x05, 0x00})), 0x06);
  EXPECT_TRUE(checksumMatches(bytes({0x55, 0x02, 0x01, 0x05, 0x06})));
  EXPECT_FALSE(checksumMatches(bytes({0x55, 0x02, 0x01, 0x05, 0x07})));
}

TEST(IspFrames, WriteBlockCarriesBlockAddressAndData) {
  Frame data(kShortBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);

  const Frame narrow = writeBlockFrame(0x100, kAreaFlash, 0x123, data);
  ASSERT_EQ(narrow.size(), 137u);
  EXPECT_EQ(Frame(narrow.begin(), narrow.begin() + 8), bytes({0x55, 0x86, 0x06, 0x28, 0x00, 0x91, 0x80, 0x80}));
  EXPECT_EQ(Frame(narrow.begin() + 8, narrow.end() - 1), data);
  EXPECT_TRUE(checksumMatches(narrow));

  const Frame wide = writeBlockFrame(0x500, kAreaXdata, 0x123, data);
  ASSERT_EQ(wide.size(), 138u);
  EXPECT_EQ(Frame(wide.begin(), wide.begin() + 9), bytes({0x55, 0x87, 0x06, 0x04, 0x00, 0x00, 0x91, 0x80, 0x80}));
  EXPECT_TRUE(checksumMatches(wide));

  const Frame long512 = longWriteBlockFrame(0x001000, Frame(kLongBlockSize, 0x5A));
  ASSERT_EQ(long512.size(), 522u);
  EXPECT_EQ(Frame(long512.begin(), long512.begin() + 9), bytes({0x55, 0x02, 0x06, 0x06, 0x00, 0x10, 0x00, 0x02, 0x00}));
  EXPECT_TRUE(checksumMatches(long512));
}

TEST(IspFrames, ProgramStartLayouts) {
  ProgramLimits limits;
  limits.writeLimitEnable = true;
  limits.writeNumMax = 0x01020304;
  limits.writerIdLimitEnable = false;
  limits.writeIdNum = 0xDEADBEEF;  // not sent: the limit is off
  limits.encryptFileId = 0x0A0B0C0D;
  for (std::size_t i = 0; i < limits.text.size(); ++i) limits.text[i] = static_cast<std::uint8_t>('a' + i);

  struct Case {
    std::uint16_t family;
    bool encrypted;
    std::uint8_t len;
  };
  const Case cases[] = {{0x100, false, 0x12}, {0x100, true, 0x2F}, {0x500, false, 0x14}, {0x500, true, 0x31}};
  for (const Case& c : cases) {
    ProgramStart p;
    p.familyType = c.family;
    p.modelId = 0x1234;
    p.calibrateRc = true;
    p.dataLength = 0x5678;
    if (c.encrypted) p.limits = limits;
    p.internalName = "QX58K";
    const Frame f = programStartFrame(p);
    SCOPED_TRACE(testing::Message() << "family " << c.family << (c.encrypted ? " encrypted" : " plain"));
    ASSERT_EQ(f.size(), std::size_t{c.len} + 3);
    EXPECT_EQ(f[1], c.len);
    EXPECT_EQ(f[2], kCmdProgramStart);
    EXPECT_EQ(Frame(f.begin() + 3, f.begin() + 6), bytes({0x12, 0x34, 0x01}));
    const std::size_t lengthBytes = c.family == 0x500 ? 4 : 2;
    const Frame length = lengthBytes == 4 ? bytes({0x00, 0x00, 0x56, 0x78}) : bytes({0x56, 0x78});
    EXPECT_EQ(Frame(f.begin() + 6, f.begin() + 6 + static_cast<std::ptrdiff_t>(lengthBytes)), length);
    std::size_t at = 6 + lengthBytes;
    if (c.encrypted) {
      EXPECT_EQ(Frame(f.begin() + at, f.begin() + at + 13),
                bytes({0x55, 1, 2, 3, 4, 0, 0, 0, 0, 0x0A, 0x0B, 0x0C, 0x0D}));
      EXPECT_EQ(Frame(f.begin() + at + 13, f.begin() + at + 29), Frame(limits.text.begin(), limits.text.end()));
      at += 29;
    }
    EXPECT_EQ(Frame(f.begin() + at, f.end() - 1), bytes({'Q', 'X', '5', '8', 'K', 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(checksumMatches(f));
  }

  ProgramStart off;
  off.limits = ProgramLimits{};
  const Frame f = programStartFrame(off);
  EXPECT_EQ(Frame(f.begin() + 8, f.begin() + 17), Frame(9, 0)) << "write limit off sends five zero bytes";
}

TEST(IspFrames, ToolVerifyLayouts) {
  ToolVerify v;
  v.modelId = 0x0102;
  v.totalChecksum = 0x11223344;
  v.dataLength = 0x0800;
  v.dataChecksum = 0x55667788;
  v.internalName = "ABCDEFGHIJKLMN";  // longer than the field: the first 12 go
  v.familyType = 0x200;
  const Frame narrow = toolVerifyFrame(v);
  ASSERT_EQ(narrow.size(), 0x1Au + 3);
  EXPECT_EQ(narrow[1], 0x1A);
  EXPECT_EQ(Frame(narrow.begin() + 2, narrow.end() - 1),
            bytes({0x0F, 0x01, 0x02, 0x11, 0x22, 0x33, 0x44, 0x08, 0x00, 0x55, 0x66, 0x77, 0x88, 0x56, 'A', 'B', 'C',
                   'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L'}));
  v.familyType = 0x500;
  const Frame wide = toolVerifyFrame(v);
  ASSERT_EQ(wide.size(), 0x1Cu + 3);
  EXPECT_EQ(wide[1], 0x1C);
  EXPECT_EQ(Frame(wide.begin() + 9, wide.begin() + 13), bytes({0x00, 0x00, 0x08, 0x00}));
  EXPECT_TRUE(checksumMatches(wide));
}

TEST(IspFrames, ValuesThatDoNotFitAreRefusedNotTruncated) {
  ProgramStart p;
  p.familyType = 0x100;
  p.dataLength = 0x10000;
  EXPECT_THROW(programStartFrame(p), std::invalid_argument);
  p.familyType = 0x500;
  EXPECT_NO_THROW(programStartFrame(p));
  ToolVerify v;
  v.dataLength = 0x10000;
  EXPECT_THROW(toolVerifyFrame(v), std::invalid_argument);

  const Frame block(kShortBlockSize, 0);
  EXPECT_THROW(writeBlockFrame(0x100, kAreaFlash, 0x20000, block), std::invalid_argument);
  EXPECT_NO_THROW(writeBlockFrame(0x500, kAreaFlash, 0x20000, block));
  EXPECT_THROW(writeBlockFrame(0x100, kAreaFlash, 0, Frame(127, 0)), std::invalid_argument);
  EXPECT_THROW(longWriteBlockFrame(0x1000000, Frame(kLongBlockSize, 0)), std::invalid_argument);
  EXPECT_THROW(longWriteModelInfoFrame(Frame(15, 0)), std::invalid_argument);
  EXPECT_THROW(shortRequest(0x01, Frame(255, 0)), std::invalid_argument);
  EXPECT_EQ(shortRequest(0x01, Frame(254, 0)).size(), 258u);
  // Page 64 lies at 64 KiB: its address must not wrap round to page 0.
  EXPECT_EQ(erasePageFrame(kAreaFlash, 64), bytes({0x55, 0x05, 0x0A, 0x28, 0x01, 0x00, 0x00, 0x26}));
}

TEST(IspFrames, BaudCodes) {
  const std::uint32_t rates[] = {600,    1200,   2400,   4800,   9600,   19200,  38400,
                                 57600,  115200, 256000, 460800, 921600, 1000000};
  for (unsigned code = 0; code < std::size(rates); ++code) {
    EXPECT_EQ(baudForCode(code), rates[code]) << code;
    EXPECT_EQ(codeForBaud(rates[code]), code);
  }
  EXPECT_FALSE(baudForCode(13));
  EXPECT_FALSE(baudForCode(0xFF));
  EXPECT_FALSE(codeForBaud(14400));
}

TEST(IspFrames, DialectFollowsFamilyType) {
  EXPECT_EQ(dialectFor(0x0805), Dialect::Long);
  EXPECT_EQ(dialectFor(0x9805), Dialect::Long);
  EXPECT_EQ(dialectFor(0x0500), Dialect::Short);
  EXPECT_EQ(dialectFor(0x8000), Dialect::Short);
}

TEST(IspFrames, ChecksumReportComparison) {
  // Image checksum = byte sum + 2 × length + 1; the report carries the byte sum mod 65536.
  const std::uint32_t length = 0x8000;
  const std::uint32_t byteSum = 0x00123456;
  const std::uint32_t image = byteSum + 2 * length + 1;
  EXPECT_TRUE(checksumReportMatches(0x3456, image, length));
  EXPECT_FALSE(checksumReportMatches(0x3457, image, length));
}

}  // namespace
}  // namespace isp
