#include "update/self_update.hpp"

#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <exception>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "update/ftp.hpp"
#include "update/manifest.hpp"
#include "update/md5.hpp"
#include "update/version.hpp"

extern char** environ;

namespace update {
namespace {

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

class SelfUpdate {
 public:
  SelfUpdate(const std::filesystem::path& executable, SelfUpdateSink& sink)
      : executable_(executable), folder_(executable.parent_path()), sink_(sink) {}

  SelfUpdateResult run(const std::string& currentVersion, bool checkOnly) {
    const std::string caption = base::text("update.self.caption");
    std::optional<FirmwareVersion> current;
    try {
      current = parseFirmwareVersion(currentVersion);
    } catch (const std::exception&) {
    }
    if (!current || *current == FirmwareVersion{}) {
      sink_.onMessage(caption, base::text("update.self.no_version"), base::MessageIcon::Information);
      return {};
    }
    const auto bytes = ftpDownloadBuffer(kAppManifestPath);
    const auto record = parseAppManifest(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    std::optional<FirmwareVersion> latest;
    try {
      if (record) latest = parseFirmwareVersion(record->version);
    } catch (const std::exception&) {
      // A published version that does not read is no version to update to.
    }
    if (!latest) {
      sink_.onMessage(caption, base::text("update.self.no_manifest"), base::MessageIcon::Error);
      return {};
    }
    if (!(*latest > *current)) {
      sink_.onMessage(caption, base::text("update.self.no_update"), base::MessageIcon::Information);
      return {base::Outcome::Success, {}, false};
    }
    if (checkOnly) return {base::Outcome::Success, {}, true};
    if (!sink_.onQuestion(base::text(102), base::format(base::text("update.self.question").c_str(),
                                                         record->version.c_str()))) {
      return {base::Outcome::Cancelled, {}, true};
    }
    if (!writable()) {
      sink_.onMessage(caption, base::format(base::text("update.self.read_only").c_str(), folder_.c_str()),
                      base::MessageIcon::Warning);
      return {base::Outcome::Failed, {}, true};
    }
    const std::size_t slash = record->path.find_last_of('/');
    const std::string newName = slash == std::string::npos ? record->path : record->path.substr(slash + 1);
    base::trace("newAppName=%s\n", newName.c_str());
    const auto installed = folder_ / newName;
    auto downloaded = installed;
    downloaded += ".new";
    const bool got = !newName.empty() &&
                     ftpDownloadFile(record->path, downloaded, [this](int percent) { sink_.onProgress(percent); });
    if (!got || lowerCase(fileMd5Hex(downloaded)) != lowerCase(record->hash)) {
      sink_.onMessage(caption, base::text("update.self.download_failed"), base::MessageIcon::Information);
      return {base::Outcome::Failed, {}, true};
    }
    if (!swapIn(downloaded, installed)) {
      sink_.onMessage(caption, base::text("update.self.not_replaced"), base::MessageIcon::Error);
      return {base::Outcome::Failed, {}, true};
    }
    return {base::Outcome::Success, installed, true};
  }

 private:
  bool writable() const { return ::access(folder_.c_str(), W_OK | X_OK) == 0; }

  // The new program gets the old one's permissions first; each move is checked and undone on failure.
  bool swapIn(const std::filesystem::path& downloaded, const std::filesystem::path& installed) {
    std::error_code ec;
    const auto mode = std::filesystem::status(executable_, ec).permissions();
    std::filesystem::permissions(downloaded, ec ? std::filesystem::perms(0755) : mode, ec);
    if (ec) return false;
    const auto old = folder_ / kOldProgramName;
    std::filesystem::rename(executable_, old, ec);
    if (ec) return false;
    std::filesystem::rename(downloaded, installed, ec);
    if (ec) {
      std::error_code back;
      std::filesystem::rename(old, executable_, back);
      return false;
    }
    return true;
  }

  std::filesystem::path executable_;
  std::filesystem::path folder_;
  SelfUpdateSink& sink_;
};

}  // namespace

SelfUpdateResult selfUpdate(const std::string& currentVersion, const std::filesystem::path& executable,
                            SelfUpdateSink& sink, bool checkOnly) {
  return SelfUpdate(executable, sink).run(currentVersion, checkOnly);
}

bool startProgram(const std::filesystem::path& program) {
  const std::string path = program.string();
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = 0;
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own session, so that it outlives this process and the terminal's signals meant for it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  const bool started = posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv, environ) == 0;
  posix_spawnattr_destroy(&attributes);
  return started;
}

std::filesystem::path ownExecutable() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec);
}

}  // namespace update
