#pragma once
// The numbered texts the code names, by their string-table numbers: base::text(base::txt::kTip).
// Texts without a number are named by their dotted names.

namespace base::txt {

inline constexpr int kAboutMenu = 101;
inline constexpr int kTip = 102;
inline constexpr int kNoToolFound = 104;
inline constexpr int kVerifying = 110;
inline constexpr int kProgramming = 112;
inline constexpr int kConnectedToTarget = 113;
inline constexpr int kProgrammingCompletedTime = 115;
inline constexpr int kVerifyFailed = 126;
inline constexpr int kMcuModelMenu = 137;
inline constexpr int kChecksumLabel = 148;
inline constexpr int kWriteBuffer = 157;
inline constexpr int kNoFileSelected = 169;
inline constexpr int kSelectFileFirst = 170;
inline constexpr int kSynchronising = 171;
inline constexpr int kDetectingTarget = 173;
inline constexpr int kFileLoaded = 174;
inline constexpr int kProgrammingFailedError = 176;
inline constexpr int kTimeConsumption = 179;
inline constexpr int kVerificationInconsistent = 180;
inline constexpr int kVerificationConsistent = 181;
inline constexpr int kErasingProgramArea = 184;
inline constexpr int kCancelledByUser = 185;
inline constexpr int kDownloadComplete = 187;
inline constexpr int kTargetNotDetected = 188;
inline constexpr int kDownloadedToTool = 189;
inline constexpr int kErasingWholeFlash = 190;
inline constexpr int kModelMismatch = 191;
inline constexpr int kSerialOpenFailed = 192;
inline constexpr int kConnectFailed = 194;
inline constexpr int kVerificationSuccessful = 230;
inline constexpr int kProgramFileFilter = 269;
inline constexpr int kVerificationFailedRetry = 280;
inline constexpr int kNoEncryptedIdOnline = 281;
inline constexpr int kWriteError = 282;
inline constexpr int kPowerOnTarget = 283;
inline constexpr int kTargetPowerNotOff = 284;
inline constexpr int kDownloaderConnected = 285;
inline constexpr int kErasedSuccessfully = 286;
inline constexpr int kEraseFailed = 287;
inline constexpr int kStopUpgrading = 288;
inline constexpr int kModelMismatchReselect = 289;
inline constexpr int kStartVerification = 291;
inline constexpr int kProgrammingCompleted = 292;
inline constexpr int kRewriting = 293;
inline constexpr int kUsbConnected = 294;
inline constexpr int kUsbDisconnected = 295;
inline constexpr int kUsbSerialUnplugged = 296;
inline constexpr int kUsbSerialPlugged = 297;
inline constexpr int kToolNotDetected = 308;
inline constexpr int kLimitReachedIsp = 310;
inline constexpr int kToolIdMismatchIsp = 311;
inline constexpr int kSetSerialPortFirst = 315;
inline constexpr int kFileSizeLabel = 316;
inline constexpr int kSavedSuccessfully = 320;
inline constexpr int kSaveFailed = 321;

}  // namespace base::txt
