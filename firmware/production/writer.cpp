#include "firmware/production/writer.hpp"

#include <algorithm>

#include "base/texts.hpp"
#include "base/whole_file.hpp"
#include "firmware/cipher/tea.hpp"

namespace production {

SaveDialog SaveDialogFor(FileKind kind, const std::filesystem::path& programFile) {
  std::filesystem::path stem = programFile;
  stem.replace_extension();
  if (kind == FileKind::EncryptedProgram) {
    stem += "_JM.cab";
    return {stem, "cab", "cab files (*.cab)|*.cab|*.bin|all files (*.*)|*.*||"};
  }
  stem += ".cap";
  return {stem, "cap", "cap文件(*.cap)|*.cap||"};
}

std::vector<std::uint8_t> ProductionFileBytes(FileKind kind, const ProductionHeader& header,
                                              const firmware::ProgramImage& image) {
  const HeaderBytes head = encodeHeader(header);
  // An image shorter than its data length is erased flash beyond its end.
  std::vector<std::uint8_t> file(kHeaderSize + header.dataLength, 0xFF);
  std::copy(head.begin(), head.end(), file.begin());
  const std::size_t n = std::min<std::size_t>(header.dataLength, image.data.size());
  std::copy_n(image.data.begin(), n, file.begin() + kHeaderSize);
  if (kind == FileKind::EncryptedProgram) cipher::TeaEncrypt(file.data() + kHeaderSize, header.dataLength, header.key);
  return file;
}

WriteResult WriteProductionFile(FileKind kind, const WriteSource& source, ProductionSettings& settings, WriteSink& sink,
                                const RandomSource& random) {
  const std::optional<std::filesystem::path> path = sink.askSavePath(SaveDialogFor(kind, source.programFile));
  if (!path) return WriteResult::Cancelled;

  const ProductionHeader header =
      makeHeader(kind, settings, source.model, source.modelCode, source.image.totalChecksum,
                 static_cast<std::uint32_t>(source.image.dataLength), random);
  if (!settings.write_limit_num_enable) settings.write_num_max = 0;

  if (!base::WriteWholeFile(*path, ProductionFileBytes(kind, header, source.image))) {
    sink.onMessage(base::text(base::txt::kTip), base::text(base::txt::kSaveFailed), base::MessageIcon::Error);
    return WriteResult::Failed;
  }
  settings.encrypt_file_id = header.fileId();
  sink.onLog("--> " + base::text(kind == FileKind::EncryptedProgram ? "production.cab_written"
                                                                       : "production.cap_written"),
               base::LogColour::Normal);
  return WriteResult::Written;
}

}  // namespace production
