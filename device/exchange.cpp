#include "device/exchange.hpp"

#include <string>

#include "device/exceptions.hpp"
#include "device/frame.hpp"

namespace qx {
namespace {

// true: accepted; false: the operation returns false. Throws for the statuses that raise.
bool judge(ReplyCheck check, int status) {
  switch (check) {
    case ReplyCheck::NoStatus:
      return true;
    case ReplyCheck::Strict:
      if (status != kStatusSuccess) throw CommandException(status);
      return true;
    case ReplyCheck::Soft:
      if (status == kStatusFailed) throw CommandException(status);
      return status == kStatusSuccess;
    case ReplyCheck::TouchConnect:
      if (status != kStatusSuccess && status != kStatusFailed) throw CommandException(status);
      return status == kStatusSuccess;
    case ReplyCheck::TouchData:
      if (status == kStatusFailed || status == kStatusTouchDataLost) throw CommandException(status);
      return status == kStatusSuccess;
    case ReplyCheck::Verify:
      if (status != kStatusSuccess && status != kStatusVerifyFailed) throw CommandException(status);
      return status == kStatusSuccess;
  }
  return false;
}

}  // namespace

std::optional<Bytes> exchange(Interface* link, const CommandSpec& spec, const Bytes& request) {
  if (link == nullptr || !link->write(request)) return std::nullopt;
  Bytes reply = link->read(spec.timeoutMs);
  if (reply.empty()) return std::nullopt;
  if (reply[0] != spec.id) {
    if (spec.mismatchIsNoAnswer) return std::nullopt;
    throw DeviceException(std::string("expected ") + spec.name);
  }
  if (!judge(spec.check, u8At(reply, 1))) return std::nullopt;
  return reply;
}

}  // namespace qx
