#include "ui/main/tool_settings.hpp"

#include <cstdlib>
#include <string>

namespace mainwin {
namespace {

// Every value is read with this default text, so a missing one reads as 0.
constexpr const char* kDefaultText = "DefaultName";

struct Key {
  const char* section;
  const char* key;
};
constexpr Key kPort{"COM端口", "端口"};
constexpr Key kListIndex{"COM_LIST_INDEX", "INDEX"};
constexpr Key kBaud{"串口波特率", "波特率"};
constexpr Key kHexDisplay{"HEX显示", "HexDis"};
constexpr Key kPackageDisplay{"分包显示", "PackageDis"};
constexpr Key kModel{"芯片型号", "MCU_TYPE_INDEX"};
constexpr Key kHexSend{"HEX发送", "HexSend"};
constexpr Key kReceiveTimeout{"接收超时", "OutTimer"};
constexpr Key kSendPeriod{"定时发送", "SendTimer"};
constexpr Key kBytesPerLine{"接收每行个数", "RecDisNum"};
constexpr Key kAutoClear{"接收自动清除", "AutoClear"};
// The port as this platform names it, and the ISP panel's and serial settings' choices.
constexpr Key kPortPath{"串口路径", "PATH"};
constexpr Key kEraseChip{"整片擦除", "EraseChip"};
constexpr Key kUpgradeBaud{"升级波特率", "UpgradeBaud"};
constexpr Key kCalibrateRc{"校准内部RC", "CalibrateRC"};
constexpr Key kProgrammingType{"编程类型", "ProgType"};

std::string textOf(const base::IniFile& ini, Key k) { return ini.value(k.section, k.key).value_or(kDefaultText); }

// Leading decimal digits as atol reads them; anything else is 0.
long numberIn(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }
long numberOf(const base::IniFile& ini, Key k) { return numberIn(textOf(ini, k)); }
bool flagOf(const base::IniFile& ini, Key k) { return numberOf(ini, k) == 1; }
int positiveOr(long value, int fallback) {
  return value <= 0 || value > 0x7FFFFFFF ? fallback : static_cast<int>(value);
}

void put(base::IniFile& ini, Key k, long value) { ini.setValue(k.section, k.key, std::to_string(value)); }

}  // namespace

std::filesystem::path toolSettingsPath() { return base::settingsDirectory() / "QUBRIX_TOOL_CONFIG.ini"; }

ToolSettings readToolSettings(const base::IniFile& ini, std::size_t portCount) {
  ToolSettings s;
  const std::string port = textOf(ini, kPort);
  const long number = port.size() > 3 ? numberIn(port.substr(3)) : 0;
  s.portNumber = number >= 1 && number <= 127 ? static_cast<int>(number) : 1;

  const long index = numberOf(ini, kListIndex);
  if (index >= 0 && static_cast<std::size_t>(index) < portCount) {
    s.portListIndex = static_cast<std::size_t>(index);
  } else {
    s.portListIndex = 0;
    s.portNumber = 1;
  }

  s.baudRate = positiveOr(numberOf(ini, kBaud), 19200);
  s.hexDisplay = flagOf(ini, kHexDisplay);
  s.packageDisplay = flagOf(ini, kPackageDisplay);

  const long code = numberOf(ini, kModel);
  if (code > 0 && code <= 0xFFFF && (code & 0xFF) <= 249) s.mcuTypeIndex = static_cast<std::uint16_t>(code);

  s.hexSend = flagOf(ini, kHexSend);
  s.receiveTimeoutMs = positiveOr(numberOf(ini, kReceiveTimeout), 50);
  s.sendPeriodMs = positiveOr(numberOf(ini, kSendPeriod), 100);
  // Read on its own: tying it to the send period would drop a saved value whenever that is missing.
  const long perLine = numberOf(ini, kBytesPerLine);
  s.bytesPerLine = perLine > 0 && perLine <= 0xFFFF ? static_cast<int>(perLine) : 0;
  s.autoClear = flagOf(ini, kAutoClear);

  if (const auto path = ini.value(kPortPath.section, kPortPath.key); path && !path->empty()) s.portPath = *path;
  s.eraseChip = flagOf(ini, kEraseChip);
  const long upgrade = numberOf(ini, kUpgradeBaud);
  s.upgradeBaudIndex = upgrade >= 0 && upgrade <= kMaxUpgradeBaudIndex ? static_cast<int>(upgrade) : 0;
  // Missing reads as on, the default of the option.
  s.calibrateRc = textOf(ini, kCalibrateRc) != "0";
  const long type = numberOf(ini, kProgrammingType);
  s.programmingTypeIndex = type >= 0 && type <= 2 ? static_cast<int>(type) : 0;
  return s;
}

void storeToolSettings(const ToolSettings& s, base::IniFile& ini) {
  ini.setValue(kPort.section, kPort.key, "COM" + std::to_string(s.portNumber));
  put(ini, kListIndex, static_cast<long>(s.portListIndex));
  put(ini, kBaud, s.baudRate);
  put(ini, kHexDisplay, s.hexDisplay ? 1 : 0);
  put(ini, kPackageDisplay, s.packageDisplay ? 1 : 0);
  put(ini, kModel, s.mcuTypeIndex.value_or(0));
  put(ini, kHexSend, s.hexSend ? 1 : 0);
  put(ini, kReceiveTimeout, s.receiveTimeoutMs);
  put(ini, kSendPeriod, s.sendPeriodMs);
  put(ini, kBytesPerLine, s.bytesPerLine);
  put(ini, kAutoClear, s.autoClear ? 1 : 0);
  ini.setValue(kPortPath.section, kPortPath.key, s.portPath);
  put(ini, kEraseChip, s.eraseChip ? 1 : 0);
  put(ini, kUpgradeBaud, s.upgradeBaudIndex);
  put(ini, kCalibrateRc, s.calibrateRc ? 1 : 0);
  put(ini, kProgrammingType, s.programmingTypeIndex);
}

}  // namespace mainwin
