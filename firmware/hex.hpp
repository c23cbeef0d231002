#pragma once
// The three Intel HEX readers. They differ on purpose: the 8-bit families' reader places records
// by their 16-bit address and checks nothing, the 32-bit families' reader checks every line, and
// the stream reader (firmware store) follows extended addresses across 64 KiB.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace firmware {

// --- 8-bit families -------------------------------------------------------------------------

struct HexByAddress {
  enum class Status {
    Ok,
    NoEndRecord,  // no ":00000001" in the text
    TooLarge,     // the data end exceeds the capacity
  };
  Status status = Status::NoEndRecord;
  std::uint64_t dataEnd = 0;       // bytes of program data
  std::vector<std::uint8_t> data;  // `capacity` bytes when Ok: 0x00 below the data end, 0xFF after
};

// Only the text before the first ":00000001" counts. Data records (type 00) are placed at their
// 16-bit address; other types are skipped. A record that runs past the end of the text, or that
// holds a character that is no hex digit, is ignored. The data end is the larger of the sum of the
// record lengths and the furthest record end.
HexByAddress ReadHexByAddress(std::string_view fileText, std::uint64_t capacity);

// --- 32-bit families ------------------------------------------------------------------------

class HexError : public std::runtime_error {
 public:
  HexError() : std::runtime_error("Invalid hex file.") {}
};

// Every line must be ':' and pairs of hex digits whose 8-bit sum is 0, else HexError (an empty
// line too). Data records are appended in file order, a gap below a record's address filled with
// 0x00; the upper address records are only traced, so offsets are relative to the flash start.
// An end-of-file record does not stop the parse.
std::vector<std::uint8_t> ParseHexStrict(const std::filesystem::path& path);
std::vector<std::uint8_t> ParseHexStrictText(std::string_view text);

// --- Firmware store --------------------------------------------------------------------------

// Results beyond this size are refused: no chip holds them, and records that each end on a 64 KiB
// boundary could otherwise grow the result by 64 KiB per record.
inline constexpr std::uint64_t kStreamHexLimit = 16u << 20;

// Empty on a record with a wrong checksum, with more than 32 data bytes, or reaching beyond
// kStreamHexLimit. Stops at the first end-of-file record; gaps are 0x00.
std::vector<std::uint8_t> ParseHexStream(std::istream& in);
std::vector<std::uint8_t> ParseHexStream(std::string_view text);

}  // namespace firmware
