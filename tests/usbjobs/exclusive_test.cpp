// One process per programmer, and a final power-off that fails told to the user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/programmer_lock.hpp"
#include "tests/usbjobs/rig.hpp"

namespace usbjobstest {
namespace {

TEST(ProgrammerLock, IsSharedInAProcessAndRefusedToAnotherWithItsHolder) {
  testsupport::TempHome home;
  const auto dir = home.path() / "locks";
  {
    usbjobs::ProgrammerLock first("439041101", dir);
    usbjobs::ProgrammerLock second("439041101", dir);
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(second.held());
  }
  // Another process's lock: a descriptor of its own, with its process id in the file.
  const int other = ::open((dir / "439041101.lock").c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(::pwrite(other, "1\n", 2, 0), 2);
  {
    usbjobs::ProgrammerLock refused("439041101", dir);
    EXPECT_FALSE(refused.held());
    EXPECT_EQ(refused.holder(), 1);
    EXPECT_FALSE(refused.holderCommand().empty());
    // Other serial numbers are free; the device's text never leaves the lock directory.
    EXPECT_TRUE(usbjobs::ProgrammerLock("../../etc/passwd", dir).held());
    EXPECT_TRUE(std::filesystem::exists(dir / "______etc_passwd.lock"));
  }
  ::close(other);
  EXPECT_TRUE(usbjobs::ProgrammerLock("439041101", dir).held());
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
    const auto dir = usbjobs::programmerLockDirectory();
    std::filesystem::create_directories(dir);
    const int other = ::open((dir / "439041101.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    PowerOffSink sink;
    EXPECT_EQ(usbjobs::runProgram(jobFor("QB51F08", 100, 128), sink, rig.running), base::Outcome::Failed);
    EXPECT_TRUE(sink.log.size() == 1 && sink.log[0].colour == base::LogColour::Error &&
                sink.log[0].line.find("is in use by process") != std::string::npos)
        << sink.text();
    EXPECT_TRUE(rig.ids().empty());
    EXPECT_EQ(sink.powerOffFailures, 0);
    ::close(other);
  }
}

}  // namespace
}  // namespace usbjobstest
