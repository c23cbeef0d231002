#include "firmware/production/reader.hpp"

#include <algorithm>
#include <vector>

#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/cipher/tea.hpp"

namespace production {
namespace {

const firmware::McuList& listOf(const firmware::LoadTarget& target) {
  return target.catalogue != nullptr ? *target.catalogue : firmware::Catalogue();
}

const char* invalidText(FileKind kind) {
  return kind == FileKind::EncryptedProgram ? "production.cab_invalid" : "production.cap_invalid";
}

void refuseInvalid(FileKind kind, std::uint16_t code, ProductionSettings& settings, firmware::LoadSink& sink) {
  clearSettings(settings);
  firmware::ReportRefused(base::text(invalidText(kind)), code, sink);
}

void refuseModel(FileKind kind, std::uint16_t code, ProductionSettings& settings, firmware::LoadSink& sink) {
  clearSettings(settings);
  if (kind == FileKind::EncryptedProgram) {
    firmware::ReportRefused(base::text("production.cab_no_model"), code, sink);
    return;
  }
  // This one logs a text of its own beside the box.
  sink.onMessage(base::text(base::txt::kTip), base::text("production.cap_no_model"), base::MessageIcon::Warning);
  sink.onLog(base::text("production.cap_no_model_log"), base::LogColour::Error);
  sink.fileNameField(base::text(base::txt::kNoFileSelected));
  sink.showImage(firmware::BlankView(code));
}

}  // namespace

std::optional<std::uint64_t> ProductionDataLimit(std::uint16_t modelCode, const firmware::MCU& record) {
  const std::optional<std::uint64_t> capacity = firmware::MaxFileLength(modelCode, &record);
  if (!capacity) return std::nullopt;
  const std::uint16_t flashClass = firmware::FlashClassOf(modelCode);
  const bool eeprom = !firmware::Is32BitType(modelCode) && (flashClass == 0x9 || flashClass == 0xA);
  return eeprom ? *capacity + 512 : *capacity;
}

std::optional<std::uint16_t> ReadProductionFile(std::istream& file, FileKind kind, const firmware::LoadTarget& target,
                                                firmware::ProgramImage& image, ProductionSettings& settings,
                                                firmware::LoadSink& sink) {
  const std::uint16_t selected = target.modelCode;
  HeaderBytes raw;
  raw.fill(0xFF);
  file.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  const auto got = static_cast<std::size_t>(file.gcount());
  const DecodedHeader decoded = decodeHeader(raw.data(), got, kind);
  if (!decoded.ok()) {
    refuseInvalid(kind, selected, settings, sink);
    return std::nullopt;
  }
  const ProductionHeader& h = decoded.header;

  // The model code must name a catalogue record, and that record must carry the model id.
  const firmware::McuPtr record = firmware::FindByTypeIndex(listOf(target), h.modelCode);
  if (!record || record->model != h.model) {
    refuseModel(kind, selected, settings, sink);
    return std::nullopt;
  }
  // The buffers are sized by the model: a longer data part cannot be held, a shorter one would
  // leave erased bytes where the program should be.
  const std::optional<std::uint64_t> limit = ProductionDataLimit(h.modelCode, *record);
  if (!limit || h.dataLength > *limit) {
    refuseInvalid(kind, selected, settings, sink);
    return std::nullopt;
  }
  std::vector<std::uint8_t> payload(h.dataLength);
  file.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(payload.size()));
  if (static_cast<std::size_t>(file.gcount()) != payload.size()) {
    refuseInvalid(kind, selected, settings, sink);
    return std::nullopt;
  }

  applyHeader(h, kind, settings);
  const std::uint16_t code = h.modelCode;
  sink.modelSelected(code, record->name);

  image.m_MaxFileLength = *firmware::MaxFileLength(code, record.get());
  image.dataLength = h.dataLength;
  image.loadedLength = h.dataLength;
  firmware::ApplyLengthsByMode(image, code, target.mode, firmware::LengthRule::Bin);

  // rawFile is the file as read; appArea its data part, deciphered for a .cab; data that part
  // from offset 0.
  const std::size_t n = static_cast<std::size_t>(std::max<std::uint64_t>(image.m_MaxFileLength, h.dataLength)) +
                        kHeaderSize;
  image.rawFile.assign(n, 0xFF);
  std::copy(raw.begin(), raw.end(), image.rawFile.begin());
  std::copy(payload.begin(), payload.end(), image.rawFile.begin() + kHeaderSize);
  image.appArea.assign(n, 0xFF);
  std::copy(payload.begin(), payload.end(), image.appArea.begin());
  image.fromEncryptedFile = kind == FileKind::EncryptedProgram;
  if (image.fromEncryptedFile) cipher::TeaDecrypt(image.appArea.data(), payload.size(), h.key);
  image.data.assign(n, 0xFF);
  std::copy_n(image.appArea.begin(), payload.size(), image.data.begin());
  image.header = layoutHeader(h);

  if (image.fromEncryptedFile) {
    switch (sink.ispPortChoice()) {
      case firmware::IspPortChoice::Usb:
        break;
      case firmware::IspPortChoice::SerialPort:
        sink.askSerialProgrammerVersion();
        break;
      case firmware::IspPortChoice::NoSelection:
        sink.onMessage(base::text(base::txt::kTip), base::text("production.select_port"), base::MessageIcon::Warning);
        return std::nullopt;
    }
  }
  return code;
}

}  // namespace production
