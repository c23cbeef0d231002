#include "emulator/programmer/state_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace emulator::programmer {
namespace {

constexpr std::uint32_t kMagic = 0x53505851;  // "QXPS"
constexpr std::uint32_t kFormat = 1;
constexpr std::uint32_t kMaxTouchThresholds = 255;
constexpr char kConfigFile[] = "programmer.conf";
constexpr char kStateFile[] = "programmer.state";
constexpr char kLockFile[] = "state.lock";
// Larger than any state a device can hold; a length beyond it means a damaged file.
constexpr std::uint32_t kMaxBlob = 16 * 1024 * 1024;

class Writer {
 public:
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_ += static_cast<char>(v >> (8 * i));
  }
  void blob(const void* data, std::size_t n) {
    u32(static_cast<std::uint32_t>(n));
    out_.append(static_cast<const char*>(data), n);
  }
  void text(const std::string& s) { blob(s.data(), s.size()); }
  void bytes(std::span<const std::uint8_t> b) { blob(b.data(), b.size()); }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string in) : in_(std::move(in)) {}
  bool ok() const { return ok_; }
  bool atEnd() const { return pos_ >= in_.size(); }
  std::uint32_t u32() {
    if (pos_ + 4 > in_.size()) return fail();
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(in_[pos_ + static_cast<std::size_t>(i)]);
    pos_ += 4;
    return v;
  }
  std::string text() {
    const std::uint32_t n = u32();
    if (!ok_ || n > kMaxBlob || pos_ + n > in_.size()) {
      fail();
      return {};
    }
    std::string s = in_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  Bytes bytes() {
    const std::string s = text();
    return Bytes(s.begin(), s.end());
  }

 private:
  std::uint32_t fail() {
    ok_ = false;
    return 0;
  }
  std::string in_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Every process that reads or writes the files of one state directory takes this lock, so that
// writers follow each other and a reader never meets a half-renamed pair. It dies with its process.
class DirectoryLock {
 public:
  DirectoryLock(const std::filesystem::path& dir, int how) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    fd_ = ::open((dir / kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) ::flock(fd_, how);
  }
  ~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  int fd_ = -1;
};

bool writeWhole(const std::filesystem::path& file, const std::string& contents) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  const DirectoryLock lock(file.parent_path(), LOCK_EX);
  const std::filesystem::path temp = file.string() + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out.flush()) {
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::filesystem::rename(temp, file, ec);
  return !ec;
}

std::optional<std::string> readWhole(const std::filesystem::path& file) {
  if (!std::filesystem::exists(file)) return std::nullopt;
  const DirectoryLock lock(file.parent_path(), LOCK_SH);
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

NorFlash flashFrom(const Bytes& contents) {
  NorFlash f(contents.size());
  f.assign(contents);
  return f;
}

}  // namespace

std::filesystem::path stateDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::filesystem::path base;
  if (state != nullptr && *state != '\0') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : ".") / ".local" / "state";
  }
  return base / "QUBRIX" / "emulator";
}

Config loadConfig(const std::filesystem::path& dir, const Config& defaults) {
  const auto text = readWhole(dir / kConfigFile);
  return text ? parseConfig(*text, defaults) : defaults;
}

bool saveConfig(const std::filesystem::path& dir, const Config& config) {
  return writeWhole(dir / kConfigFile, formatConfig(config));
}

std::optional<Persistent> loadState(const std::filesystem::path& dir) {
  const auto text = readWhole(dir / kStateFile);
  if (!text) return std::nullopt;
  Reader r(*text);
  if (r.u32() != kMagic || r.u32() != kFormat) return std::nullopt;
  Persistent p;
  p.targetFlash = flashFrom(r.bytes());
  p.adoptedModel = r.u32();
  p.targetPowered = r.u32() != 0;
  p.activeFirmware = r.text();
  p.limit.fileId = r.u32();
  p.limit.maxCount = r.u32();
  p.limit.count = r.u32();
  p.programmerFlash = flashFrom(r.bytes());
  p.bootMode = r.u32() != 0;
  const std::uint32_t count = r.u32();
  for (std::uint32_t i = 0; r.ok() && i < count && i < kStoreCapacity; ++i) {
    StoredFirmware f;
    f.name = r.text();
    f.fileId = r.u32();
    f.modelWord = r.u32();
    f.verifyCode = r.u32();
    f.time = r.u32();
    f.userCode = r.u32();
    f.mcuName = r.text();
    f.internalName = r.text();
    const std::string key = r.text();
    f.hasKey = key.size() == f.key.size();
    if (f.hasKey) std::copy(key.begin(), key.end(), f.key.begin());
    f.data = r.bytes();
    p.store.push_back(std::move(f));
  }
  // Files written before the touch thresholds were kept end here.
  if (r.ok() && !r.atEnd()) {
    const std::uint32_t thresholds = r.u32();
    for (std::uint32_t i = 0; r.ok() && i < thresholds && i < kMaxTouchThresholds; ++i) {
      p.touchThresholds.push_back(static_cast<std::uint16_t>(r.u32()));
    }
  }
  if (!r.ok()) return std::nullopt;
  return p;
}

bool saveState(const std::filesystem::path& dir, const Persistent& p) {
  Writer w;
  w.u32(kMagic);
  w.u32(kFormat);
  w.bytes(p.targetFlash.bytes());
  w.u32(p.adoptedModel);
  w.u32(p.targetPowered ? 1 : 0);
  w.text(p.activeFirmware);
  w.u32(p.limit.fileId);
  w.u32(p.limit.maxCount);
  w.u32(p.limit.count);
  w.bytes(p.programmerFlash.bytes());
  w.u32(p.bootMode ? 1 : 0);
  w.u32(static_cast<std::uint32_t>(p.store.size()));
  for (const StoredFirmware& f : p.store) {
    w.text(f.name);
    w.u32(f.fileId);
    w.u32(f.modelWord);
    w.u32(f.verifyCode);
    w.u32(f.time);
    w.u32(f.userCode);
    w.text(f.mcuName);
    w.text(f.internalName);
    w.blob(f.key.data(), f.hasKey ? f.key.size() : 0);
    w.bytes(f.data);
  }
  w.u32(static_cast<std::uint32_t>(p.touchThresholds.size()));
  for (std::uint16_t t : p.touchThresholds) w.u32(t);
  return writeWhole(dir / kStateFile, w.str());
}

void resetState(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::remove(dir / kStateFile, ec);
  std::filesystem::remove(dir / kConfigFile, ec);
}

}  // namespace emulator::programmer
