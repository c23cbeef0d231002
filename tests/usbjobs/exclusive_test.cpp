// One process per programmer, and a final power-off that fails told to the user.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/programmer_lock.hpp"
#include "tests/support/foreign_lock.hpp"
#include "tests/usbjobs/rig.hpp"

namespace usbjobstest {
namespace {

TEST(ProgrammerLock, IsSharedInAProcessAndRefusedToAnotherWithItsHolder) {
  testsupport::TempHome home;
  const auto dir = home.path() / "locks";
  {
    qx::ProgrammerLock first("439041101", dir);
    qx::ProgrammerLock second("439041101", dir);
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(second.held());
  }
  {
    testsupport::ForeignLock other(dir / "439041101.lock");
    ASSERT_TRUE(other.held());
    qx::ProgrammerLock refused("439041101", dir);
    EXPECT_FALSE(refused.held());
    EXPECT_EQ(refused.holder(), 1);
    EXPECT_FALSE(refused.holderCommand().empty());
    base::setThreadLanguage(base::kLangEnglish);
    EXPECT_EQ(refused.refusal(), "The QUBRIX Tool 439041101 is in use by process 1 (" + refused.holderCommand() + ").");
    // Other serial numbers are free; the device's text never leaves the lock directory.
    EXPECT_TRUE(qx::ProgrammerLock("../../etc/passwd", dir).held());
    EXPECT_TRUE(std::filesystem::exists(dir / "______etc_passwd.lock"));
  }
  EXPECT_TRUE(qx::ProgrammerLock("439041101", dir).held());
}

// Emulated benches in different homes share serial numbers, so their locks stay in their homes.
TEST(ProgrammerLock, DirectoryIsTheRuntimeOnlyForRealProgrammers) {
  testsupport::TempHome home;
  const std::filesystem::path state = std::getenv("XDG_STATE_HOME");
  const std::filesystem::path runtime = home.path() / "runtime";
  struct Case {
    const char* emulate;
    const char* runtime;
    std::filesystem::path expected;
  } cases[] = {
      {nullptr, runtime.c_str(), runtime / "QUBRIX" / "locks"},
      {"0", runtime.c_str(), runtime / "QUBRIX" / "locks"},
      {"1", runtime.c_str(), state / "QUBRIX" / "locks"},
      {"2", runtime.c_str(), state / "QUBRIX" / "locks"},
      {nullptr, nullptr, state / "QUBRIX" / "locks"},
      {nullptr, "relative", state / "QUBRIX" / "locks"},
  };
  const auto setOrUnset = [](const char* var, const char* value) {
    value != nullptr ? ::setenv(var, value, 1) : ::unsetenv(var);
  };
  const auto saved = [](const char* var) -> std::optional<std::string> {
    const char* value = std::getenv(var);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  };
  const auto savedEmulate = saved("QUBRIX_EMULATE");
  const auto savedRuntime = saved("XDG_RUNTIME_DIR");
  for (const Case& c : cases) {
    setOrUnset("QUBRIX_EMULATE", c.emulate);
    setOrUnset("XDG_RUNTIME_DIR", c.runtime);
    EXPECT_EQ(qx::programmerLockDirectory(), c.expected)
        << "QUBRIX_EMULATE=" << (c.emulate ? c.emulate : "(unset)") << " XDG_RUNTIME_DIR=" << (c.runtime ? c.runtime : "(unset)");
  }
  setOrUnset("QUBRIX_EMULATE", savedEmulate ? savedEmulate->c_str() : nullptr);
  setOrUnset("XDG_RUNTIME_DIR", savedRuntime ? savedRuntime->c_str() : nullptr);
}

class PowerOffSink : public RecordingSink {
 public:
  void onPowerOffFailed() override { ++powerOffFailures; }
  int powerOffFailures = 0;
};

TEST(FinalStep, AFailedPowerOffIsToldAndAProgrammerInUseIsLeftAlone) {
  base::setThreadLanguage(base::kLangEnglish);
  {
    Rig rig;
    ep::Fault refused;
    refused.kind = ep::FaultKind::Status;
    refused.command = kPower;
    refused.value = 1;
    refused.times = -1;
    rig.device->addFault(refused);
    PowerOffSink sink;
    EXPECT_EQ(usbjobs::runProgram(jobFor("QB51F08", 100, 128), sink, rig.running), base::Outcome::Success);
    EXPECT_EQ(sink.powerOffFailures, 1);
    EXPECT_TRUE(sink.hasError("--> Power-off failed.")) << sink.text();
    EXPECT_TRUE(rig.targetPowered());
  }
  {
    Rig rig;
    testsupport::ForeignLock other(qx::programmerLockDirectory() / "439041101.lock");
    ASSERT_TRUE(other.held());
    PowerOffSink sink;
    EXPECT_EQ(usbjobs::runProgram(jobFor("QB51F08", 100, 128), sink, rig.running), base::Outcome::Failed);
    EXPECT_TRUE(sink.log.size() == 1 && sink.log[0].colour == base::LogColour::Error &&
                sink.log[0].line.find("is in use by process") != std::string::npos)
        << sink.text();
    EXPECT_TRUE(rig.ids().empty());
    EXPECT_EQ(sink.powerOffFailures, 0);
  }
}

}  // namespace
}  // namespace usbjobstest
