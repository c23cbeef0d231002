// The firmware store of the programmer: up to 50 named images with their meta values, the active
// one, and the programming counter.
#include <algorithm>

#include "device/commands.hpp"
#include "device/frame.hpp"
#include "emulator/programmer/programmer_model.hpp"
#include "emulator/programmer/status_codes.hpp"

namespace emulator::programmer {
namespace {

using namespace status;

namespace cmd = qx::cmd;
using qx::textAt;
using qx::u16At;
using qx::u32At;
using qx::u8At;

constexpr std::size_t kCreateNameMax = 32;
constexpr std::size_t kMcuName = 16;
constexpr std::size_t kInternalNameMax = 16;

std::size_t storedBytes(const std::vector<StoredFirmware>& store) {
  std::size_t total = 0;
  for (const StoredFirmware& f : store) total += f.data.size();
  return total;
}

// A zero-padded field, up to its first zero.
std::string paddedText(const Bytes& f, std::size_t at, std::size_t width) {
  std::string s = textAt(f, at, width);
  return s.substr(0, s.find('\0'));
}

}  // namespace

StoredFirmware* ProgrammerModel::findFirmware(const Bytes& req, std::size_t lengthAt, std::size_t* after) {
  const std::size_t length = u8At(req, lengthAt);
  const std::string name = textAt(req, lengthAt + 1, length);
  if (after != nullptr) *after = lengthAt + 1 + length;
  if (name.empty() || name.size() != length) return nullptr;
  auto it = std::find_if(persistent_.store.begin(), persistent_.store.end(),
                         [&](const StoredFirmware& f) { return f.name == name; });
  return it == persistent_.store.end() ? nullptr : &*it;
}

void ProgrammerModel::store(const Bytes& req, Bytes& out, Answer& a) {
  const std::uint8_t id = req[0];
  if (id == cmd::kFwList.id) return storeList(req, out);
  if (id == cmd::kFwInfo.id) return storeInfo(req, out);
  if (id == cmd::kFwCreate.id) return storeCreate(req, out);
  if (id == cmd::kFwSyncCacheToFw.id) return storeSync(req, out, a);
  if (id == cmd::kFwSetMeta.id) return storeMeta(req, out);
  if (id == cmd::kFwSetLimit.id || id == cmd::kFwGetLimit.id || id == cmd::kFwLimitInc.id) return storeLimit(req, out);
  StoredFirmware* f = findFirmware(req, 1);
  if (id == cmd::kFwDelete.id || id == cmd::kFwSetActive.id || id == cmd::kFwSetKey.id) {
    if (f == nullptr) {
      out[1] = kInvalidName;
    } else if (id == cmd::kFwDelete.id) {
      if (persistent_.activeFirmware == f->name) persistent_.activeFirmware.clear();
      std::erase_if(persistent_.store, [&](const StoredFirmware& s) { return &s == f; });
    } else if (id == cmd::kFwSetActive.id) {
      persistent_.activeFirmware = f->name;
    } else {
      const std::size_t at = 2 + f->name.size();
      for (std::size_t i = 0; i < f->key.size(); ++i) f->key[i] = u8At(req, at + i);
      f->hasKey = true;
    }
    return;
  }
  out[1] = kInvalidOperation;
}

void ProgrammerModel::storeList(const Bytes& req, Bytes& out) const {
  const std::size_t start = u16At(req, 1);
  const std::size_t perReply = config_.namesPerReply > 0 ? static_cast<std::size_t>(config_.namesPerReply) : kStoreCapacity;
  std::size_t pos = 2;
  for (std::size_t i = start, listed = 0; i < persistent_.store.size() && listed < perReply; ++i, ++listed) {
    const std::string& name = persistent_.store[i].name;
    // A name goes out whole with its terminator, or waits for the next request.
    if (pos + name.size() + 1 > out.size()) break;
    std::copy(name.begin(), name.end(), out.begin() + static_cast<std::ptrdiff_t>(pos));
    pos += name.size() + 1;
  }
}

void ProgrammerModel::storeInfo(const Bytes& req, Bytes& out) {
  const StoredFirmware* f = findFirmware(req, 1);
  if (f == nullptr) {
    out[1] = kInvalidName;
    return;
  }
  put32(out, 2, static_cast<std::uint32_t>(f->data.size()));
  put16(out, 6, static_cast<std::uint16_t>(f->modelWord));
  put32(out, 8, f->verifyCode);
  put32(out, 12, f->time);
}

void ProgrammerModel::storeCreate(const Bytes& req, Bytes& out) {
  const std::size_t length = u8At(req, 1);
  if (length == 0 || length > kCreateNameMax) {
    out[1] = kInvalidName;
    return;
  }
  if (findFirmware(req, 1) != nullptr) {
    out[1] = kAlreadyExists;
    return;
  }
  if (persistent_.store.size() >= kStoreCapacity) {
    out[1] = kFailed;
    return;
  }
  const std::size_t at = 2 + length;
  StoredFirmware f;
  f.name = textAt(req, 2, length);
  f.fileId = u32At(req, at);
  f.modelWord = u32At(req, at + 4);
  f.verifyCode = u32At(req, at + 8);
  f.mcuName = paddedText(req, at + 12, kMcuName);
  persistent_.store.push_back(std::move(f));
}

void ProgrammerModel::storeSync(const Bytes& req, Bytes& out, Answer& a) {
  std::size_t at = 0;
  StoredFirmware* f = findFirmware(req, 1, &at);
  if (f == nullptr) {
    out[1] = kInvalidName;
    return;
  }
  const std::size_t offset = u32At(req, at + 4);
  const std::size_t length = u32At(req, at + 8);
  const std::size_t newSize = std::max(f->data.size(), offset + length);
  if (length > kCacheSize || offset > kStoreBytes || storedBytes(persistent_.store) - f->data.size() + newSize > kStoreBytes) {
    out[1] = kOutOfRange;
    return;
  }
  f->data.resize(newSize, 0xFF);
  std::copy_n(cache_.begin(), length, f->data.begin() + static_cast<std::ptrdiff_t>(offset));
  a.cost += std::chrono::milliseconds(2);
}

void ProgrammerModel::storeMeta(const Bytes& req, Bytes& out) {
  std::size_t at = 0;
  StoredFirmware* f = findFirmware(req, 2, &at);
  if (f == nullptr) {
    out[1] = kInvalidName;
    return;
  }
  switch (u8At(req, 1)) {
    case cmd::kMetaUserCode:
      f->userCode = u32At(req, at);
      break;
    case cmd::kMetaTime:
      f->time = u32At(req, at);
      break;
    case cmd::kMetaTarget: {
      // The last field of its frame: ended by the frame's zero padding.
      const std::string name = paddedText(req, at, kInternalNameMax);
      if (name.empty()) {
        out[1] = kInvalidName;
        return;
      }
      f->internalName = name;
      break;
    }
    default:
      out[1] = kInvalidOperation;
      break;
  }
}

void ProgrammerModel::storeLimit(const Bytes& req, Bytes& out) {
  LimitCounter& limit = persistent_.limit;
  const std::uint32_t fileId = u32At(req, 1);
  if (req[0] == cmd::kFwSetLimit.id) {
    limit = LimitCounter{fileId, u32At(req, 5), 0};
  } else if (req[0] == cmd::kFwGetLimit.id) {
    put32(out, 1, limit.fileId);
    put32(out, 5, limit.maxCount);
    put32(out, 9, limit.count);
  } else if (fileId != limit.fileId || limit.count >= limit.maxCount) {
    out[1] = kInvalidOperation;
  } else {
    ++limit.count;
  }
}

}  // namespace emulator::programmer
