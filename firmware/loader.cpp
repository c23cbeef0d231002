#include "firmware/loader.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "firmware/cipher/tea.hpp"
#include "firmware/hex.hpp"
#include "firmware/production/reader.hpp"

namespace firmware {
namespace {

// No HEX text for a 128 KiB chip comes near this; a bigger file is refused before it is read.
constexpr std::uintmax_t kHexTextLimit = 64u << 20;

bool isFamily32(const MCU& m) { return m.familyId[0] == '3' && m.familyId[1] == '2'; }

const McuList& listOf(const LoadTarget& target) {
  return target.catalogue != nullptr ? *target.catalogue : Catalogue();
}

std::size_t bounded(std::uint64_t n, const std::vector<std::uint8_t>& v) {
  return static_cast<std::size_t>(std::min<std::uint64_t>(n, v.size()));
}

std::uint32_t checksumOf(const std::vector<std::uint8_t>& v, std::uint64_t n) {
  return ImageChecksum(v.data(), bounded(n, v));
}

void refuseTooLarge(std::uint16_t code, LoadSink& sink) { ReportRefused(base::text("firmware.too_large"), code, sink); }
void refuseTooSmall(std::uint16_t code, LoadSink& sink) { ReportRefused(base::text("firmware.too_small"), code, sink); }

void errorBox(const char* textName, LoadSink& sink) {
  sink.onMessage(base::text("caption.error"), base::text(textName), base::MessageIcon::Error);
}

enum class ReadStatus { Ok, CannotOpen, TooLarge };

ReadStatus readText(const std::filesystem::path& path, std::string& text) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return ReadStatus::CannotOpen;
  if (size > kHexTextLimit) return ReadStatus::TooLarge;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ReadStatus::CannotOpen;
  text.assign(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(size));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return ReadStatus::Ok;
}

// The 8-bit families: records placed by address. An unopenable file or one without an
// end-of-file record fails without a message.
bool loadHexByAddress(const std::filesystem::path& path, std::uint16_t code, LoadMode mode, ProgramImage& image,
                      LoadSink& sink) {
  std::string text;
  const ReadStatus read = readText(path, text);
  if (read == ReadStatus::CannotOpen) return false;
  if (read == ReadStatus::TooLarge) {
    refuseTooLarge(code, sink);
    return false;
  }
  const std::optional<std::uint64_t> capacity = ClassMaxLength(code);
  HexByAddress hex = ReadHexByAddress(text, capacity.value_or(0));
  if (hex.status == HexByAddress::Status::NoEndRecord) return false;
  if (!capacity || hex.status == HexByAddress::Status::TooLarge) {
    refuseTooLarge(code, sink);
    return false;
  }
  if (Is32BitType(code) && hex.dataEnd <= kBootAreaSize) {
    refuseTooSmall(code, sink);
    return false;
  }
  image.data = std::move(hex.data);
  image.m_MaxFileLength = *capacity;
  image.dataLength = hex.dataEnd;
  ApplyLengthsByMode(image, code, mode, LengthRule::Hex);
  return true;
}

// The 32-bit families: every line checked, the capacity from the record's flash size.
bool loadHexStrict(const std::filesystem::path& path, std::uint16_t code, const MCU& record, LoadMode mode,
                   ProgramImage& image, LoadSink& sink) {
  std::string text;
  const ReadStatus read = readText(path, text);
  if (read == ReadStatus::TooLarge) {
    refuseTooLarge(code, sink);
    return false;
  }
  std::vector<std::uint8_t> parsed;
  try {
    if (read == ReadStatus::CannotOpen) throw HexError();
    parsed = ParseHexStrictText(text);
  } catch (const HexError&) {
    errorBox("firmware.hex_parse_error", sink);
    return false;
  }
  const std::uint64_t capacity = record.flashSize;
  if (parsed.size() > capacity) {
    refuseTooLarge(code, sink);
    return false;
  }
  // Without anything past the boot area there is no application to checksum or program.
  if (Is32BitType(code) && parsed.size() <= kBootAreaSize) {
    refuseTooSmall(code, sink);
    return false;
  }
  image.data.assign(static_cast<std::size_t>(capacity), 0xFF);
  std::copy(parsed.begin(), parsed.end(), image.data.begin());
  image.m_MaxFileLength = capacity;
  image.dataLength = parsed.size();
  ApplyLengthsByMode(image, code, mode, LengthRule::Hex);
  return true;
}

bool loadBin(const std::filesystem::path& path, std::uint16_t code, const McuList& list, LoadMode mode,
             ProgramImage& image, LoadSink& sink) {
  std::ifstream in(path, std::ios::binary);
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (!in || ec) {
    errorBox("firmware.read_error", sink);
    return false;
  }
  const McuPtr record = FindByTypeIndex(list, code);
  const std::optional<std::uint64_t> capacity = MaxFileLength(code, record.get());
  if (!capacity || size > *capacity) {
    refuseTooLarge(code, sink);
    return false;
  }
  if (Is32BitType(code) && size <= kBootAreaSize) {
    refuseTooSmall(code, sink);
    return false;
  }
  image.m_MaxFileLength = *capacity;
  image.loadedLength = size;
  image.dataLength = size;
  ApplyLengthsByMode(image, code, mode, LengthRule::Bin);
  const auto n = static_cast<std::size_t>(*capacity);
  image.data.assign(n, 0xFF);
  image.rawFile.assign(n, 0xFF);
  image.appArea.assign(n, 0xFF);
  in.read(reinterpret_cast<char*>(image.data.data()), static_cast<std::streamsize>(bounded(image.loadedLength, image.data)));
  return in.gcount() > 0;
}

}  // namespace

std::optional<ProgramFileKind> ProgramFileKindOfPath(std::string_view path) {
  std::string lower(path);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find(".hex") != std::string::npos) return ProgramFileKind::Hex;
  if (lower.find(".cab") != std::string::npos) return ProgramFileKind::EncryptedProgram;
  if (lower.find(".cap") != std::string::npos) return ProgramFileKind::ProductionProject;
  if (lower.find(".bin") != std::string::npos) return ProgramFileKind::Bin;
  return std::nullopt;
}

std::optional<std::uint64_t> MaxFileLength(std::uint16_t modelCode, const MCU* record) {
  if (record != nullptr && isFamily32(*record)) return record->flashSize;
  return ClassMaxLength(modelCode);
}

void ApplyLengthsByMode(ProgramImage& image, std::uint16_t modelCode, LoadMode mode, LengthRule rule) {
  const bool wholeFlash = mode == LoadMode::Other && (rule == LengthRule::Hex || !Is32BitType(modelCode));
  if (wholeFlash) {
    image.loadedLength = image.m_MaxFileLength;
    image.programLength = static_cast<std::int64_t>(image.m_MaxFileLength);
  } else {
    if (rule == LengthRule::Hex) image.loadedLength = image.dataLength;
    image.programLength = static_cast<std::int64_t>(PageRound(image.dataLength, modelCode));
  }
  image.pageCount = static_cast<std::uint32_t>(static_cast<std::uint64_t>(image.programLength) / PageSize(modelCode));
}

void ComputeChecksums(ProgramImage& image, std::uint16_t modelCode, LoadMode mode) {
  const auto programLength = static_cast<std::uint64_t>(std::max<std::int64_t>(image.programLength, 0));
  const std::uint16_t flashClass = FlashClassOf(modelCode);
  const bool is32Bit = Is32BitType(modelCode);
  // A production file's EEPROM part follows the flash in the file and in the image.
  std::uint64_t eepromCapacity = 0;
  if (!is32Bit && flashClass == 0xA && image.loadedLength >= 8193) eepromCapacity = 8704;
  if (!is32Bit && flashClass == 0x9 && image.loadedLength >= 4097) eepromCapacity = 4608;
  // Every length must be backed by bytes, erased where the file gave none: the hex view and the
  // programming jobs read that far.
  const std::uint64_t needed = std::max({image.m_MaxFileLength, programLength, image.dataLength, eepromCapacity});
  if (image.data.size() < needed) image.data.resize(static_cast<std::size_t>(needed), 0xFF);
  image.programChecksum = checksumOf(image.data, programLength);
  image.dataChecksum = checksumOf(image.data, image.dataLength);

  if (is32Bit) {
    const auto n = static_cast<std::size_t>(image.m_MaxFileLength);
    image.appArea.assign(n, 0xFF);
    if (image.data.size() > kBootAreaSize) {
      const std::size_t count = std::min(n, image.data.size()) - std::min<std::size_t>(n, kBootAreaSize);
      std::copy_n(image.data.begin() + kBootAreaSize, count, image.appArea.begin());
    }
    image.appChecksum = checksumOf(image.appArea, programLength > kBootAreaSize ? programLength - kBootAreaSize : 0);
    image.totalChecksum = WordXorChecksum(image.data, bounded(image.loadedLength, image.data));
    image.totalChecksumLength = image.loadedLength;
    return;
  }

  image.totalChecksum = checksumOf(image.data, image.m_MaxFileLength);
  image.totalChecksumLength = image.m_MaxFileLength;
  if (eepromCapacity != 0) {
    image.m_MaxFileLength = eepromCapacity;
    image.dataChecksum = checksumOf(image.data, eepromCapacity - 512);  // the flash part only
  }
  if (mode != LoadMode::Isp) {
    base::trace("%s(%d): m_MaxFileLength = %d\n", __FILE__, __LINE__, static_cast<int>(image.m_MaxFileLength));
    base::trace("%s(%d): totalChecksum = %08X\n", __FILE__, __LINE__, image.totalChecksum);
  }
}

void ReportLoaded(const ProgramImage& image, LoadSink& sink) {
  const std::vector<std::uint8_t>& shown = image.fromEncryptedFile ? image.rawFile : image.data;
  sink.showImage(std::span<const std::uint8_t>(shown.data(), bounded(image.m_MaxFileLength, shown)));
  sink.onLog(base::format(base::text(base::txt::kFileLoaded).c_str(), image.totalChecksum), base::LogColour::Normal);
  sink.checksumLabel(base::format(base::text(base::txt::kChecksumLabel).c_str(), image.totalChecksum));
  std::string size =
      base::format(base::text(base::txt::kFileSizeLabel).c_str(), static_cast<double>(image.programLength) / 1024.0);
  for (char& c : size) {
    if (static_cast<unsigned char>(c) < 0x80) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  sink.fileSizeLabel(size);
}

void ReportRefused(const std::string& message, std::uint16_t modelCode, LoadSink& sink) {
  sink.onMessage(base::text(base::txt::kTip), message, base::MessageIcon::Warning);
  sink.onLog("--> " + message, base::LogColour::Error);
  sink.fileNameField(base::text(base::txt::kNoFileSelected));
  const std::vector<std::uint8_t> blank = BlankView(modelCode);
  sink.showImage(blank);
}

std::vector<std::uint8_t> BlankView(std::uint16_t modelCode) {
  return std::vector<std::uint8_t>(BlankViewLength(modelCode), 0xFF);
}

bool LoadProgramFile(const std::filesystem::path& path, ProgramFileKind kind, const LoadTarget& target,
                     ProgramImage& image, LoadSink& sink) {
  std::uint16_t code = target.modelCode;
  image.fromEncryptedFile = false;
  image.enciphered = false;
  image.rawFile.clear();
  image.rawFile.shrink_to_fit();
  sink.showImage(BlankView(code));

  const McuList& list = listOf(target);
  bool loaded = false;
  switch (kind) {
    case ProgramFileKind::Hex: {
      const McuPtr record = FindByTypeIndex(list, code);
      if (!record) {
        sink.onMessage(base::text(base::txt::kTip), base::text("firmware.select_model"), base::MessageIcon::Warning);
        return false;
      }
      loaded = isFamily32(*record) ? loadHexStrict(path, code, *record, target.mode, image, sink)
                                   : loadHexByAddress(path, code, target.mode, image, sink);
      break;
    }
    case ProgramFileKind::Bin:
      loaded = loadBin(path, code, list, target.mode, image, sink);
      break;
    case ProgramFileKind::EncryptedProgram:
    case ProgramFileKind::ProductionProject: {
      std::ifstream in(path, std::ios::binary);
      if (!in) {
        errorBox("firmware.read_error", sink);
        return false;
      }
      production::ProductionSettings unkept;
      const std::optional<std::uint16_t> fileModel = production::ReadProductionFile(
          in, kind == ProgramFileKind::EncryptedProgram ? production::FileKind::EncryptedProgram
                                                        : production::FileKind::ProductionProject,
          target, image, target.settings != nullptr ? *target.settings : unkept, sink);
      if (!fileModel) return false;
      code = *fileModel;
      loaded = true;
      break;
    }
  }
  if (!loaded) return false;
  ComputeChecksums(image, code, target.mode);
  ReportLoaded(image, sink);
  // The ISP jobs expect an encrypted program file's image enciphered in memory.
  if (image.fromEncryptedFile && target.mode == LoadMode::Isp) {
    cipher::TeaEncrypt(image.data.data(), bounded(image.m_MaxFileLength, image.data), cipher::kBuiltInTeaKey);
    image.enciphered = true;
  }
  return true;
}

}  // namespace firmware
