#pragma once
// The emulated Writer: the device side of the Writer's report protocol. It answers each step of a
// download as a real one does, checks every report's sum and each packet's index, keeps the image,
// computes the check code from what it received, then programs two chips at a time offline and
// reports the status codes. Its faults come from WriterConfig. Thread-safe: the host writes from
// one thread and reads from another.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "device/writer/link.hpp"
#include "emulator/writer/config.hpp"

namespace emulator::writer {

using qx::writer::Report;

// Error reply of the emulated firmware; the host does not know it and ignores it.
inline constexpr std::uint8_t kReplyError = 0x8F;

struct Exchange {
  bool fromHost = false;
  Report wire{};   // as on the wire
  Report plain{};  // deciphered
};

// What the Writer keeps of its last download for its offline rounds.
struct StoredProgram {
  std::uint32_t length = 0;
  bool limitOn = false;
  std::uint32_t limit = 0;
  unsigned chipsProgrammed = 0;
};

class EmulatedWriter : public std::enable_shared_from_this<EmulatedWriter> {
 public:
  using Clock = std::chrono::steady_clock;
  using StoreHook = std::function<void(const StoredProgram&)>;

  static std::shared_ptr<EmulatedWriter> create(WriterConfig config);

  // A link onto this Writer for the host; null once it has left the bus.
  std::shared_ptr<qx::writer::WriterLink> attach();

  // Host side, used by the link. false once the Writer is gone.
  bool receive(const Report& wire);
  qx::writer::ReadResult nextReply(Report& out, int timeoutMs);

  // Called (under the Writer's lock) whenever a download completes, so the bench can keep it.
  void onProgramStored(StoreHook hook);
  // A Writer that holds a program from before goes on with its offline rounds at once.
  void resumeOffline(const StoredProgram& program);

  void unplug();
  bool present() const;
  std::vector<Exchange> exchanges() const;
  // What it keeps: the image of the last download and the chips programmed since.
  std::vector<std::uint8_t> storedImage() const;
  unsigned chipsProgrammed() const;

 private:
  explicit EmulatedWriter(WriterConfig config) : config_(std::move(config)) {}

  struct Pending {
    Clock::time_point due;
    Report plain;
  };
  void reply(Report plain, std::chrono::milliseconds delay);
  void status(std::uint8_t code, std::chrono::milliseconds delay);
  void handle(const Report& plain);
  void handleData(const Report& plain);
  std::uint32_t checkCode() const;
  void scheduleRound();
  std::chrono::milliseconds pace(int ms) const;

  const WriterConfig config_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Pending> replies_;
  std::vector<Exchange> log_;
  bool present_ = true;
  unsigned hostReports_ = 0;

  bool encrypted_ = false;
  std::uint16_t familyType_ = 0;
  std::vector<std::uint8_t> image_;
  std::uint32_t expectedPacket_ = 0;
  bool limitOn_ = false;
  std::uint32_t limit_ = 0;
  unsigned chips_ = 0;
  int roundsLeft_ = 0;
  Clock::time_point lastDue_{};
  StoreHook storeHook_;
};

}  // namespace emulator::writer
