#include "device/exceptions.hpp"

#include <string_view>
#include <utility>

#include "base/strformat.hpp"
#include "base/texts.hpp"

namespace qx {
namespace {

constexpr int kStatusRows[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 18, 19, 20, 161, 162, 164, 165};

}  // namespace

std::string statusMessage(int code) {
  for (int row : kStatusRows) {
    if (row == code) return base::text(base::format("device.status.%d", code));
  }
  // The device's table falls back to its last row's Chinese text in either language.
  return "读数据超时。";
}

DeviceException::DeviceException(std::string message, int code) : code_(code), message_(std::move(message)) {}

CommandException::CommandException(int status) : DeviceException(statusMessage(status), status) {}

ReadTimeoutException::ReadTimeoutException() : DeviceException(statusMessage(kStatusReadTimeout), kStatusReadTimeout) {}

}  // namespace qx
