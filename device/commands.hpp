#pragma once
// The command ids of the programmer protocol, with the reply time-out and the way each reply's
// status byte is judged. Frames carry no length, sequence or checksum: the fixed report size, the
// zero padding and the echoed id are all the framing there is.
#include <cstdint>

namespace qx {

enum class ReplyCheck {
  Strict,        // 0 success, anything else raises
  Soft,          // 0 success, 1 raises, anything else is a refusal (false)
  TouchConnect,  // 0 success, 1 refusal, anything else raises
  TouchData,     // 0 success, 1 and 24 raise, anything else is a refusal
  Verify,        // 0 success, 12 data differ (false), anything else raises
  NoStatus,      // byte 1 onward is data
};

struct CommandSpec {
  std::uint8_t id;
  const char* name;
  int timeoutMs;
  ReplyCheck check;
  // A reply echoing another id counts as no answer instead of raising.
  bool mismatchIsNoAnswer = false;
};

namespace cmd {

// The identification queries (sub-codes 4 and 7) take another echoed id as no answer; the
// version-type query (sub-code 6) does not.
inline constexpr CommandSpec kIdentify{0x00, "ID_Info", 100, ReplyCheck::NoStatus, true};
inline constexpr CommandSpec kInfo{0x00, "ID_Info", 100, ReplyCheck::NoStatus};
inline constexpr CommandSpec kConnect{0x08, "ID_Connect", 5000, ReplyCheck::Strict};
inline constexpr CommandSpec kDisconnect{0x09, "ID_Disconnect", 1000, ReplyCheck::Strict};
inline constexpr CommandSpec kEraseTgtFlash{0x0B, "ID_EraseTgtFlash", 8000, ReplyCheck::Strict};
inline constexpr CommandSpec kWriteTgtFlash{0x0C, "ID_WriteTgtFlash", 1000, ReplyCheck::Strict};
inline constexpr CommandSpec kVerifyTgtFlash{0x0D, "ID_VerifyTgtFlash", 100, ReplyCheck::Verify};
inline constexpr CommandSpec kWriteCache{0x0F, "ID_WriteCache", 100, ReplyCheck::Strict};
inline constexpr CommandSpec kScreenStatus{0x10, "ID_ScreenStatus", 100, ReplyCheck::Strict};
inline constexpr CommandSpec kTargetPowerSwitch{0x11, "ID_TargetPower", 1000, ReplyCheck::Strict};
inline constexpr CommandSpec kTargetPowerQuery{0x11, "ID_TargetPower", 500, ReplyCheck::NoStatus};
inline constexpr CommandSpec kWriteEvent{0x13, "ID_WriteEvent", 100, ReplyCheck::Strict};

inline constexpr CommandSpec kTdConnect{0x50, "ID_TD_Connect", 3000, ReplyCheck::TouchConnect};
inline constexpr CommandSpec kTdDisconnect{0x51, "ID_TD_Disconnect", 1000, ReplyCheck::Soft};
inline constexpr CommandSpec kTdGetState{0x52, "ID_TD_GetState", 1000, ReplyCheck::Soft};
inline constexpr CommandSpec kTdGetChannelCount{0x53, "ID_TD_GetChannelCount", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kTdGetRefChData{0x54, "ID_TD_GetRefChData", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kTdGetKeysFlagSN{0x55, "ID_TD_GetKeysFlagSN", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kTdGetBaselineData{0x56, "ID_TD_GetBaselineData", 500, ReplyCheck::TouchData};
inline constexpr CommandSpec kTdGetRawData{0x57, "ID_TD_GetRawData", 500, ReplyCheck::TouchData};
inline constexpr CommandSpec kTdGetThresholdData{0x58, "ID_TD_GetThresholdData", 500, ReplyCheck::TouchData};
inline constexpr CommandSpec kTdSetThresholdData{0x59, "ID_TD_SetThresholdData", 1000, ReplyCheck::Soft};
inline constexpr CommandSpec kTdGetChannelNumber{0x5A, "ID_TD_GetChannelNumber", 1000, ReplyCheck::Soft};

inline constexpr CommandSpec kFwList{0x60, "ID_FW_List", 500, ReplyCheck::Strict};
inline constexpr CommandSpec kFwInfo{0x61, "ID_FW_Info", 500, ReplyCheck::Strict};
inline constexpr CommandSpec kFwCreate{0x62, "ID_FW_Create", 500, ReplyCheck::Strict};
inline constexpr CommandSpec kFwDelete{0x65, "ID_FW_Delete", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kFwSyncCacheToFw{0x66, "ID_FW_SyncCacheToFw", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kFwSetActive{0x67, "ID_FW_SetActive", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kFwSetKey{0x68, "ID_FW_SetKey", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kFwSetMeta{0x69, "ID_FW_SetMeta", 500, ReplyCheck::Soft};
inline constexpr CommandSpec kFwSetLimit{0x6C, "ID_FW_SetLimit", 1000, ReplyCheck::Soft};
inline constexpr CommandSpec kFwGetLimit{0x6D, "ID_FW_GetLimit", 1000, ReplyCheck::NoStatus};
inline constexpr CommandSpec kFwLimitInc{0x6E, "ID_FW_LimitInc", 1000, ReplyCheck::Soft};

inline constexpr CommandSpec kUpgradeMode{0xE0, "ID_UPGRADE_MODE", 100, ReplyCheck::NoStatus, true};
inline constexpr CommandSpec kUpgradeReadMem{0xE1, "ID_UPGRADE_RD_MEM", 500, ReplyCheck::Strict};
inline constexpr CommandSpec kUpgradeWriteMem{0xE2, "ID_UPGRADE_WR_MEM", 500, ReplyCheck::Strict};
inline constexpr CommandSpec kUpgradeErase{0xE3, "ID_UPGRADE_ERASE", 500, ReplyCheck::Strict};
inline constexpr std::uint8_t kUpgradeRestart = 0xE4;

// Sub-codes: the first payload byte of the commands that carry several requests.
inline constexpr std::uint8_t kInfoAppVersion = 4;
inline constexpr std::uint8_t kInfoVersionType = 6;
inline constexpr std::uint8_t kInfoBootIdentity = 7;

inline constexpr std::uint8_t kPowerQuery = 0;
inline constexpr std::uint8_t kPowerOn = 1;
inline constexpr std::uint8_t kPowerOff = 2;
inline constexpr std::uint8_t kPowerVoltage = 3;

inline constexpr std::uint8_t kScreenClear = 0;
inline constexpr std::uint8_t kScreenChecksum = 1;
inline constexpr std::uint8_t kScreenState = 2;
inline constexpr std::uint8_t kScreenProgress = 3;
inline constexpr std::uint8_t kScreenMode = 4;

// What the programmer's screen shows (screenState).
enum ScreenState : std::uint8_t {
  kShowIdle = 0,
  kShowSessionBegins = 1,
  kShowConnectFailed = 2,
  kShowProgramming = 4,
  kShowProgrammed = 5,
  kShowProgramFailed = 6,
  kShowVerifying = 7,
  kShowVerified = 8,
  kShowVerifyFailed = 9,
};
// The screen's mode (screenMode).
inline constexpr std::uint8_t kScreenOnlineProgramming = 1;
inline constexpr std::uint8_t kScreenVerificationOnly = 4;

// writeEvent around a programming run.
inline constexpr std::uint8_t kEventBegin = 1;
inline constexpr std::uint8_t kEventEnd = 2;

// eraseTargetFlash's mode for the whole chip (address and count 0).
inline constexpr std::uint8_t kEraseWholeChip = 2;

inline constexpr std::uint8_t kMetaUserCode = 3;
inline constexpr std::uint8_t kMetaTime = 4;
inline constexpr std::uint8_t kMetaTarget = 7;

}  // namespace cmd
}  // namespace qx
