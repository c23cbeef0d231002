#include "firmware/hex.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/trace.hpp"

namespace firmware {
namespace {

int nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of `digits` hex digits at `at`, or -1 when one is no hex digit.
long hexField(std::string_view text, std::size_t at, std::size_t digits) {
  long v = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int n = nibble(text[at + i]);
    if (n < 0) return -1;
    v = (v << 4) | n;
  }
  return v;
}

struct DataRecord {
  std::uint32_t address;
  std::uint32_t length;
  std::size_t digits;  // offset of the first data digit in the text
};

}  // namespace

HexByAddress ReadHexByAddress(std::string_view fileText, std::uint64_t capacity) {
  HexByAddress result;
  const std::size_t eof = fileText.find(":00000001");
  if (eof == std::string_view::npos) return result;
  const std::string_view text = fileText.substr(0, eof);

  std::vector<DataRecord> records;
  std::uint64_t lengthSum = 0;
  std::uint64_t furthestEnd = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] != ':') {
      ++pos;
      continue;
    }
    if (pos + 11 > text.size()) break;  // not even a header left
    const long length = hexField(text, pos + 1, 2);
    const long address = hexField(text, pos + 3, 4);
    const long type = hexField(text, pos + 7, 2);
    if (length < 0 || address < 0 || type < 0) {
      ++pos;
      continue;
    }
    const std::size_t size = 11 + 2 * static_cast<std::size_t>(length);
    if (pos + size > text.size()) {
      ++pos;
      continue;
    }
    bool digitsOk = true;
    for (std::size_t i = pos + 9; i < pos + 9 + 2 * static_cast<std::size_t>(length); ++i) {
      if (nibble(text[i]) < 0) digitsOk = false;
    }
    if (type == 0 && digitsOk) {
      records.push_back({static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(length), pos + 9});
      lengthSum += static_cast<std::uint64_t>(length);
      furthestEnd = std::max<std::uint64_t>(furthestEnd, static_cast<std::uint64_t>(address + length));
    }
    pos += size;
  }

  // The furthest end, not only that of the highest address: overlapping records must still land
  // inside the buffer.
  result.dataEnd = std::max(lengthSum, furthestEnd);
  if (result.dataEnd > capacity) {
    result.status = HexByAddress::Status::TooLarge;
    return result;
  }
  result.data.assign(static_cast<std::size_t>(capacity), 0xFF);
  std::fill_n(result.data.begin(), static_cast<std::size_t>(result.dataEnd), std::uint8_t{0x00});
  for (const DataRecord& r : records) {
    for (std::uint32_t i = 0; i < r.length; ++i) {
      result.data[r.address + i] = static_cast<std::uint8_t>(hexField(text, r.digits + 2 * i, 2));
    }
  }
  result.status = HexByAddress::Status::Ok;
  return result;
}

std::vector<std::uint8_t> ParseHexStrict(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HexError();
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw HexError();
  return ParseHexStrictText(text);
}

std::vector<std::uint8_t> ParseHexStrictText(std::string_view text) {
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> bytes;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = next;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // files written on Windows

    if (line.empty() || line[0] != ':' || (line.size() - 1) % 2 != 0) throw HexError();
    bytes.clear();
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < line.size(); i += 2) {
      const long b = hexField(line, i, 2);
      if (b < 0) throw HexError();
      bytes.push_back(static_cast<std::uint8_t>(b));
      sum = static_cast<std::uint8_t>(sum + b);
    }
    if (sum != 0 || bytes.size() < 5) throw HexError();
    const std::size_t length = bytes[0];
    if (bytes.size() < length + 5) throw HexError();  // the record claims more data than the line has
    const std::size_t address = (std::size_t{bytes[1]} << 8) | bytes[2];
    const std::uint8_t type = bytes[3];
    const std::uint8_t* data = bytes.data() + 4;
    switch (type) {
      case 0x00:
        if (address > out.size()) out.resize(address, 0x00);
        out.insert(out.end(), data, data + length);
        break;
      case 0x01:
        break;
      case 0x04:
        base::trace("base_address = 0x%04X\n", length >= 2 ? (unsigned{data[0]} << 8) | data[1] : 0u);
        break;
      case 0x05:
        base::trace("start_address = 0x%08X\n",
                    length >= 4 ? (unsigned{data[0]} << 24) | (unsigned{data[1]} << 16) |
                                      (unsigned{data[2]} << 8) | data[3]
                                : 0u);
        break;
      default:
        base::trace("record_type = 0x%02X\n", unsigned{type});
        break;
    }
  }
  return out;
}

std::vector<std::uint8_t> ParseHexStream(std::istream& in) {
  // Length, two address bytes, type, up to 32 data bytes, checksum.
  constexpr std::size_t kRecordBytes = 37;
  constexpr std::size_t kMaxData = kRecordBytes - 5;
  std::array<std::uint8_t, kRecordBytes> record{};
  std::size_t index = 0;
  bool lowNibble = false;
  bool complete = false;  // the characters after a finished record wait for the next ':'
  std::uint64_t runningEnd = 0;
  std::vector<std::uint8_t> out;

  char c = 0;
  while (in.get(c)) {
    if (c == '\r' || c == '\n') continue;
    if (c == ':') {
      record.fill(0);
      index = 0;
      lowNibble = false;
      complete = false;
      continue;
    }
    if (complete) continue;
    const auto u = static_cast<std::uint8_t>(c);
    const auto value = static_cast<std::uint8_t>((u & 0x10) != 0 ? (u & 0x0F) : (u & 0x0F) + 9);
    if (!lowNibble) {
      record[index] = static_cast<std::uint8_t>(value << 4);
      lowNibble = true;
      continue;
    }
    record[index] = static_cast<std::uint8_t>(record[index] | value);
    lowNibble = false;
    ++index;
    if (record[0] > kMaxData) return {};
    const std::size_t length = record[0];
    if (index != length + 5) continue;

    complete = true;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < index; ++i) sum = static_cast<std::uint8_t>(sum + record[i]);
    if (sum != 0) return {};
    const std::uint8_t type = record[3];
    if (type == 0x01) return out;
    if (type != 0x00) continue;
    const std::uint64_t address = (std::uint64_t{record[1]} << 8) | record[2];
    const std::uint64_t position = (runningEnd & ~std::uint64_t{0xFFFF}) | address;
    const std::uint64_t end = position + length;
    if (end > kStreamHexLimit) return {};
    if (out.size() < end) out.resize(static_cast<std::size_t>(end), 0x00);
    std::copy_n(record.begin() + 4, length, out.begin() + static_cast<std::ptrdiff_t>(position));
    runningEnd = end;
  }
  return out;
}

std::vector<std::uint8_t> ParseHexStream(std::string_view text) {
  std::istringstream in{std::string(text)};
  return ParseHexStream(in);
}

}  // namespace firmware
