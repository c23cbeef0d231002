#include "device/programmer_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "base/emulation.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"

namespace qx {

// The open lock file of one programmer, shared by the sessions of this process.
struct ProgrammerLock::Entry {
  explicit Entry(int descriptor) : fd(descriptor) {}
  ~Entry() { ::close(fd); }
  int fd;
};

namespace {

std::mutex g_mutex;
std::map<std::filesystem::path, std::weak_ptr<ProgrammerLock::Entry>> g_held;

// Serial numbers come from the device: only letters, digits, '-' and '_' make it into a file name.
std::string fileNameFor(const std::string& serial) {
  std::string name;
  for (char c : serial) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
    name += plain ? c : '_';
  }
  return (name.empty() ? std::string("unnamed") : name) + ".lock";
}

std::string commandLineOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  while (!text.empty() && text.back() == '\0') text.pop_back();
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
  return text;
}

}  // namespace

std::filesystem::path programmerLockDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!base::emulationRequested() && runtime != nullptr && runtime[0] == '/') {
    return std::filesystem::path(runtime) / "QUBRIX" / "locks";
  }
  const char* state = std::getenv("XDG_STATE_HOME");
  std::filesystem::path base;
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : ".") / ".local" / "state";
  }
  return base / "QUBRIX" / "locks";
}

ProgrammerLock::ProgrammerLock(const std::string& serial, const std::filesystem::path& directory) : serial_(serial) {
  const std::filesystem::path file = directory / fileNameFor(serial);
  std::lock_guard guard(g_mutex);
  if (auto mine = g_held[file].lock()) {
    entry_ = std::move(mine);
    return;
  }
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    // Without a place for locks nothing can be shared either; the job goes on unguarded.
    entry_ = std::make_shared<Entry>(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    holder_ = n > 0 ? static_cast<pid_t>(std::atoi(text)) : 0;
    if (holder_ > 0) holderCommand_ = commandLineOf(holder_);
    ::close(fd);
    return;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
    // The lock holds without the note; a refused process then names no holder.
  }
  entry_ = std::make_shared<Entry>(fd);
  g_held[file] = entry_;
}

ProgrammerLock::~ProgrammerLock() {
  std::lock_guard guard(g_mutex);
  entry_.reset();
}

std::string ProgrammerLock::refusal() const {
  return base::format(base::text("usb.programmer_in_use").c_str(), serial_.c_str(), static_cast<int>(holder_),
                      holderCommand_.c_str());
}

}  // namespace qx
