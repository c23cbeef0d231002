#pragma once
// A pseudo-terminal pair for the port tests: the port under test opens the slave by its path, the
// test plays the device on the master. The slave descriptor stays open so that the test can read
// the line settings the port applied and the pair survives the port closing its own descriptor.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace isptest {

class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    closeMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  int slave() const { return slave_; }
  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // Writes all of `bytes` to the master, waiting while the pty is full.
  bool send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      pollfd p{master_, POLLOUT, 0};
      if (::poll(&p, 1, 2000) <= 0) return false;
    }
    return true;
  }

  // Reads from the master until `count` bytes came or nothing came for `quietMs`.
  std::vector<std::uint8_t> receive(std::size_t count, int quietMs = 2000) const {
    std::vector<std::uint8_t> out;
    std::uint8_t buf[4096];
    while (out.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0) break;
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace isptest
