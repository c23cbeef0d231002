// The catalogue parser on any text: a list or CatalogueError.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "firmware/catalogue.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const firmware::McuList list = firmware::LoadCatalogue(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)firmware::GroupByFamily(list);
  } catch (const firmware::CatalogueError&) {
  }
  return 0;
}
