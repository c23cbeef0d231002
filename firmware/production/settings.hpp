#pragma once
// The production settings: what a production file carries besides the image, held by the main
// window and shared by the Writer panel, the ISP jobs and the store manager.
#include <array>
#include <cstddef>
#include <cstdint>

namespace production {

struct ProductionSettings {
  // Limit on the number of programming runs.
  bool write_limit_num_enable = false;
  std::uint32_t write_num_max = 0;

  // Only the programmer with this id may use the file.
  bool writer_ID_limit_enable = false;
  std::uint32_t write_id_num = 0;
  std::size_t write_id_digits = 0;  // hex digits typed; 8 when taken from a file

  // User roll code and its first value.
  bool user_code_enable = false;
  std::uint32_t user_code = 0;

  // File key of an encrypted program file: the characters as typed, zero after key_count.
  bool key_enable = false;
  std::array<std::uint8_t, 16> key{};
  std::size_t key_count = 0;  // 16 when taken from a file

  std::uint32_t encrypt_file_id = 0;
  bool fromEncryptedFile = false;
};

}  // namespace production
