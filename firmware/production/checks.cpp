#include "firmware/production/checks.hpp"

#include "base/strformat.hpp"
#include "base/texts.hpp"

namespace production {

std::optional<std::string> GenerateRefusal(FileKind kind, const ProductionSettings& s, bool fileSelected,
                                           bool fromEncryptedFile) {
  if (!fileSelected) return base::text(base::txt::kSelectFileFirst);
  if (kind == FileKind::EncryptedProgram) {
    if (s.key_enable && s.key_count < s.key.size()) return base::text("writer.key_length");
  } else if (fromEncryptedFile) {
    return base::text("writer.cap_from_cab");
  }
  if (s.write_limit_num_enable && s.write_num_max == 0) return base::text("writer.limit_zero");
  if (s.user_code_enable && s.user_code == 0) return base::text("writer.user_code_zero");
  if (s.writer_ID_limit_enable && s.write_id_digits < 8) return base::text("writer.writer_id_digits");
  return std::nullopt;
}

std::optional<std::string> UserCodeRefusal(std::uint64_t value) {
  if (value <= kUserCodeMax) return std::nullopt;
  return base::format(base::text("writer.user_code_range").c_str(), static_cast<unsigned>(kUserCodeMax));
}

}  // namespace production
