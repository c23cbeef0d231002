#pragma once
// One process per programmer at a time. Whatever talks to a programmer (a job, the store, a touch
// session, a firmware update) takes its lock before it opens it and keeps it until done; a second
// process is refused and told which process holds it. The
// lock is an flock on a file named by the serial number, so it dies with its process however that
// ends. Sessions of one process share it.
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

namespace qx {

// $XDG_RUNTIME_DIR/QUBRIX/locks; the state directory's QUBRIX/locks when there is none, and for
// the emulated programmers, whose state lives there too (QUBRIX_EMULATE=N): two benches in two
// homes carry the same serial numbers and must not lock each other out.
std::filesystem::path programmerLockDirectory();

class ProgrammerLock {
 public:
  // Takes the lock of the programmer with `serial` in `directory`.
  ProgrammerLock(const std::string& serial, const std::filesystem::path& directory = programmerLockDirectory());
  ~ProgrammerLock();
  ProgrammerLock(const ProgrammerLock&) = delete;
  ProgrammerLock& operator=(const ProgrammerLock&) = delete;

  bool held() const { return entry_ != nullptr; }
  // When not held: the process that holds it (0 when unknown) and its command line.
  pid_t holder() const { return holder_; }
  const std::string& holderCommand() const { return holderCommand_; }
  // The line that tells the user who holds it.
  std::string refusal() const;

  struct Entry;

 private:
  std::string serial_;
  std::shared_ptr<Entry> entry_;
  pid_t holder_ = 0;
  std::string holderCommand_;
};

}  // namespace qx
