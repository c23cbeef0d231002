// The programmer's bootloader: its own flash by address. The bootloader protects itself: only the
// application area can be erased or written.
#include <algorithm>
#include <span>

#include "device/commands.hpp"
#include "device/frame.hpp"
#include "emulator/programmer/programmer_flash.hpp"
#include "emulator/programmer/programmer_model.hpp"
#include "emulator/programmer/status_codes.hpp"

namespace emulator::programmer {
namespace {

using namespace status;

namespace cmd = qx::cmd;
using qx::u16At;
using qx::u32At;

constexpr std::size_t kReadPiece = 60;
constexpr std::size_t kWritePiece = 56;
constexpr std::chrono::milliseconds kPageEraseCost{20};

// The offset into the programmer flash, if [address, address + length) lies inside `from`.. its end.
bool inside(std::uint32_t address, std::size_t length, std::uint32_t from, std::size_t& offset) {
  if (address < from || address - kFlashBase > kFlashSize || length > kFlashSize - (address - kFlashBase)) return false;
  offset = address - kFlashBase;
  return true;
}

}  // namespace

void ProgrammerModel::boot(const Bytes& req, Bytes& out, Answer& a) {
  NorFlash& flash = persistent_.programmerFlash;
  const std::uint32_t address = u32At(req, 2);
  const std::size_t length = u16At(req, 6);
  std::size_t offset = 0;
  if (req[0] == cmd::kUpgradeReadMem.id) {
    if (length > kReadPiece || !inside(address, length, kFlashBase, offset)) {
      out[1] = kOutOfRange;
      return;
    }
    put16(out, 2, static_cast<std::uint16_t>(length));
    std::copy_n(flash.bytes().begin() + static_cast<std::ptrdiff_t>(offset), length, out.begin() + 4);
  } else if (req[0] == cmd::kUpgradeWriteMem.id) {
    if (length > kWritePiece || !inside(address, length, kFlashBase + kAppOffset, offset)) {
      out[1] = kOutOfRange;
      return;
    }
    flash.program(offset, std::span<const std::uint8_t>(req.data() + 8, length));
  } else {
    const std::size_t pages = std::max<std::size_t>(length, 1);
    const std::uint32_t page = (address - kFlashBase) / kPageSize * kPageSize + kFlashBase;
    if (address < kFlashBase || !inside(page, pages * kPageSize, kFlashBase + kAppOffset, offset)) {
      out[1] = kOutOfRange;
      return;
    }
    flash.erase(offset, pages * kPageSize);
    a.cost += kPageEraseCost * static_cast<int>(pages);
  }
}

}  // namespace emulator::programmer
