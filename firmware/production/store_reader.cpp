#include "firmware/production/store_reader.hpp"

#include <fstream>

#include "base/trace.hpp"
#include "firmware/cipher/tea.hpp"

namespace production {
namespace {

// Bytes left in the stream, so that a header's length is checked before anything is allocated.
std::streamoff remaining(std::istream& file) {
  const std::streampos here = file.tellg();
  file.seekg(0, std::ios::end);
  const std::streampos end = file.tellg();
  file.seekg(here);
  return here < 0 || end < 0 ? 0 : end - here;
}

}  // namespace

std::optional<StoreProductionFile> ReadStoreProductionFile(std::istream& file, const firmware::McuList& list) {
  HeaderBytes raw;
  raw.fill(0xFF);
  file.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  const DecodedHeader decoded = decodeAnyHeader(raw.data(), static_cast<std::size_t>(file.gcount()));
  if (!decoded.ok()) return std::nullopt;

  StoreProductionFile out;
  out.kind = *decoded.kind;
  out.header = decoded.header;
  const ProductionHeader& h = out.header;
  base::trace("ic_type=%04X,model1=%04X\n", h.modelCode, h.model);
  const firmware::McuPtr record = firmware::FindByTypeIndex(list, h.modelCode);
  if (!record || record->model != h.model) return std::nullopt;

  applyHeader(h, out.kind, out.settings);
  out.settings.key = h.key;
  if (remaining(file) < static_cast<std::streamoff>(h.dataLength)) return std::nullopt;
  out.data.resize(h.dataLength);
  file.read(reinterpret_cast<char*>(out.data.data()), static_cast<std::streamsize>(out.data.size()));
  if (static_cast<std::size_t>(file.gcount()) != out.data.size()) return std::nullopt;
  if (h.magic[0] == 0xFF) cipher::TeaDecrypt(out.data.data(), out.data.size(), h.key);
  return out;
}

std::optional<StoreProductionFile> ReadStoreProductionFile(const std::filesystem::path& path,
                                                           const firmware::McuList& list) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return ReadStoreProductionFile(in, list);
}

}  // namespace production
