#pragma once
// One serial ISP operation run to its end without a window: the engine on an EventLoop of the
// calling thread, fed by a CSerialPort. Used by `qubrix isp`, the end-to-end tests and the bench.
// Unlike the window, where the user cancels a run that hangs, a run here that makes no progress for
// the stall time-out is given up with a clear line.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "isp/engine/engine.hpp"
#include "isp/engine/job.hpp"
#include "isp/engine/sink.hpp"

namespace isp::engine {

struct RunOptions {
  std::string port;  // device path
  std::chrono::milliseconds stallTimeout{10000};
};

class IspRunner {
 public:
  // Everything the engine reports reaches `sink`, on the calling thread.
  IspRunner(IspSink& sink, RunOptions options);
  ~IspRunner();
  IspRunner(const IspRunner&) = delete;
  IspRunner& operator=(const IspRunner&) = delete;

  // A run that could not start, or was given up for want of progress, has failed.
  base::Outcome program(IspJob job);
  base::Outcome verify(IspJob job);
  // The last run was given up after the stall time-out.
  bool stalled() const;
  // The programmer's version and serial number, or nothing when it did not answer in time.
  std::optional<ProgrammerInfo> queryVersion();
  // From any thread: the running operation ends as the user's cancel.
  void cancel();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace isp::engine
