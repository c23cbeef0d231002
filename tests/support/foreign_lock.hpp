#pragma once
// A programmer's lock file held as another process holds it: through an open file of its own, so
// this process's locks on it are refused, with a process id in it for the refusal to name.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace testsupport {

class ForeignLock {
 public:
  explicit ForeignLock(const std::filesystem::path& file, int holder = 1) {
    std::filesystem::create_directories(file.parent_path());
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const std::string pid = std::to_string(holder) + "\n";
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0 && ::ftruncate(fd_, 0) == 0 &&
            ::pwrite(fd_, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
  }
  ~ForeignLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  ForeignLock(const ForeignLock&) = delete;
  ForeignLock& operator=(const ForeignLock&) = delete;

  bool held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace testsupport
