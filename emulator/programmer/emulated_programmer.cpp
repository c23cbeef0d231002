#include "emulator/programmer/emulated_programmer.hpp"

#include <algorithm>
#include <utility>

#include "device/commands.hpp"
#include "device/report.hpp"
#include "emulator/programmer/emulated_transport.hpp"
#include "emulator/programmer/state_file.hpp"

namespace emulator::programmer {
namespace {

const Fault* find(const std::vector<Fault>& faults, FaultKind kind) {
  auto it = std::find_if(faults.begin(), faults.end(), [kind](const Fault& f) { return f.kind == kind; });
  return it == faults.end() ? nullptr : &*it;
}

// Commands after which the device's flash (the target's, the store's or its own) or the touch
// target holds something new.
bool writesFlash(std::uint8_t command) {
  for (const qx::CommandSpec& c : {qx::cmd::kEraseTgtFlash, qx::cmd::kWriteTgtFlash, qx::cmd::kTdSetThresholdData,
                                   qx::cmd::kFwCreate, qx::cmd::kFwDelete, qx::cmd::kFwSyncCacheToFw, qx::cmd::kFwSetActive,
                                   qx::cmd::kFwSetKey, qx::cmd::kFwSetMeta, qx::cmd::kFwSetLimit, qx::cmd::kFwLimitInc,
                                   qx::cmd::kUpgradeWriteMem, qx::cmd::kUpgradeErase}) {
    if (c.id == command) return true;
  }
  return false;
}

}  // namespace

std::shared_ptr<EmulatedProgrammer> EmulatedProgrammer::create(Config config, std::shared_ptr<Clock> clock) {
  if (clock == nullptr) clock = std::make_shared<ManualClock>();
  return std::shared_ptr<EmulatedProgrammer>(new EmulatedProgrammer(std::move(config), std::move(clock)));
}

EmulatedProgrammer::EmulatedProgrammer(Config config, std::shared_ptr<Clock> clock)
    : model_(std::move(config)), clock_(std::move(clock)) {
  std::string ignored;
  if (auto plan = FaultPlan::parse(model_.config().faults, ignored)) faults_ = std::move(*plan);
}

EmulatedProgrammer::~EmulatedProgrammer() { saveLocked(); }

std::shared_ptr<qx::Interface> EmulatedProgrammer::attach() {
  std::lock_guard lock(mutex_);
  if (!plugged_) return nullptr;
  auto transport = std::make_shared<EmulatedTransport>(shared_from_this(), generation_);
  const Config& c = model_.config();
  transport->manufacturer = c.manufacturer;
  transport->product = c.product;
  transport->serialNumber = model_.serialNumber();
  return transport;
}

void EmulatedProgrammer::dropOffBus() {
  ++generation_;
  pending_.clear();
  late_.reset();
  openTransports_ = 0;
  saveLocked();
}

void EmulatedProgrammer::loseBusPower() {
  plugged_ = false;
  model_.persistent().targetPowered = false;
  model_.powerCycle();
  dropOffBus();
}

void EmulatedProgrammer::unplug() {
  std::lock_guard lock(mutex_);
  loseBusPower();
}

void EmulatedProgrammer::plugIn() {
  std::lock_guard lock(mutex_);
  if (plugged_) return;
  plugged_ = true;
  model_.powerCycle();
}

void EmulatedProgrammer::addFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.add(std::move(fault));
}

void EmulatedProgrammer::unplugAfter(int exchanges) {
  std::lock_guard lock(mutex_);
  faults_.unplugAfter(exchanges);
}

std::vector<LoggedExchange> EmulatedProgrammer::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void EmulatedProgrammer::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

void EmulatedProgrammer::setLogging(bool on) {
  std::lock_guard lock(mutex_);
  logging_ = on;
  if (!on) log_.clear();
}

void EmulatedProgrammer::inspect(const std::function<void(ProgrammerModel&)>& look) {
  std::lock_guard lock(mutex_);
  look(model_);
}

void EmulatedProgrammer::persistIn(const std::filesystem::path& dir) {
  std::lock_guard lock(mutex_);
  stateDir_ = dir;
  if (auto state = loadState(dir)) model_.persistent() = std::move(*state);
}

void EmulatedProgrammer::saveLocked() {
  if (stateDir_) saveState(*stateDir_, model_.persistent());
}

bool EmulatedProgrammer::isCurrent(unsigned generation) const {
  std::lock_guard lock(mutex_);
  return plugged_ && generation == generation_;
}

void EmulatedProgrammer::opened() {
  std::lock_guard lock(mutex_);
  // Another process may have used the device since: a session starts from what the files hold.
  if (openTransports_++ == 0 && stateDir_) {
    if (auto state = loadState(*stateDir_)) model_.persistent() = std::move(*state);
  }
}

void EmulatedProgrammer::closed() {
  std::lock_guard lock(mutex_);
  if (openTransports_ > 0 && --openTransports_ == 0) saveLocked();
}

int EmulatedProgrammer::send(unsigned generation, const std::uint8_t* report, std::size_t length) {
  std::lock_guard lock(mutex_);
  if (!plugged_ || generation != generation_ || length != qx::kOutputReportSize || report[0] != 0) return -1;
  if (faults_.unplugNow()) {
    loseBusPower();
    return -1;
  }
  LoggedExchange entry{Bytes(report + 1, report + length), {}};
  qx::decipherPayload(entry.request.data(), qx::transportKey());

  const std::uint8_t command = entry.request[0];
  const std::vector<Fault> faults = faults_.take(command);
  // A reply held back from the previous exchange arrives now, ahead of this one's.
  if (late_) {
    pending_.push_back(*late_);
    late_.reset();
  }
  const bool poweredBefore = model_.persistent().targetPowered;
  Answer answer;
  if (find(faults, FaultKind::Silence) == nullptr) {
    if (const Fault* refused = find(faults, FaultKind::Status)) {
      answer.reply = Bytes(qx::kReportSize, 0);
      (*answer.reply)[0] = entry.request[0];
      (*answer.reply)[1] = static_cast<std::uint8_t>(refused->value);
    } else {
      answer = model_.answer(entry.request);
    }
  }
  if (answer.reply) {
    Bytes& reply = *answer.reply;
    if (const Fault* f = find(faults, FaultKind::WrongId)) reply[0] = static_cast<std::uint8_t>(f->value);
    if (const Fault* f = find(faults, FaultKind::Tamper)) f->tamper(reply);
    reply.resize(qx::kReportSize, 0);
    entry.reply = reply;
    Pending p{};
    std::copy(reply.begin(), reply.end(), p.report.begin());
    qx::encipherPayload(p.report.data(), qx::transportKey());
    const Fault* cut = find(faults, FaultKind::ShortReport);
    p.length = cut != nullptr ? std::min<std::size_t>(cut->value, qx::kReportSize) : qx::kReportSize;
    if (const Fault* slow = find(faults, FaultKind::Delay)) p.readyAt = clock_->now() + Millis(slow->value);
    if (find(faults, FaultKind::Late) != nullptr) {
      late_ = p;
    } else if (find(faults, FaultKind::Lost) == nullptr) {
      pending_.push_back(p);
    }
  }
  if (logging_) log_.push_back(std::move(entry));
  if (find(faults, FaultKind::UnplugOnErase) != nullptr) {
    // Part of the erase is done when the device goes.
    if (model_.config().delays) clock_->sleepFor(answer.cost / 2);
    loseBusPower();
    return static_cast<int>(length);
  }
  if (model_.config().delays) clock_->sleepFor(answer.cost);
  if (answer.restart) dropOffBus();
  // A host killed right after this leaves a true picture of the target's power and of every
  // flash write batch the device carried out.
  const bool acted = find(faults, FaultKind::Silence) == nullptr && find(faults, FaultKind::Status) == nullptr;
  if (model_.persistent().targetPowered != poweredBefore || (acted && writesFlash(command))) saveLocked();
  return static_cast<int>(length);
}

int EmulatedProgrammer::receive(unsigned generation, std::uint8_t* buffer, std::size_t length, int timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!plugged_ || generation != generation_) return -1;
  const Millis timeout(timeoutMs);
  if (pending_.empty() || pending_.front().readyAt - clock_->now() > timeout) {
    lock.unlock();
    clock_->sleepFor(timeout);
    return 0;
  }
  if (const Millis wait = pending_.front().readyAt - clock_->now(); wait > Millis(0)) {
    // A slow reply arrives within this wait.
    lock.unlock();
    clock_->sleepFor(wait);
    lock.lock();
    if (!plugged_ || generation != generation_ || pending_.empty()) return -1;
  }
  const Pending p = pending_.front();
  pending_.pop_front();
  const std::size_t n = std::min(length, p.length);
  std::copy_n(p.report.begin(), n, buffer);
  return static_cast<int>(n);
}

}  // namespace emulator::programmer
