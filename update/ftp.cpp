#include "update/ftp.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

#include "base/trace.hpp"

namespace update {
namespace {

constexpr std::size_t kPiece = 4096;
// Larger socket reads than curl's default 16 KiB keep a fast link busy; progress still goes by pieces.
constexpr long kReceiveBuffer = 256 * 1024;
constexpr long kConnectTimeoutSeconds = 15;
// A server that stops sending for this long has dropped the transfer.
constexpr long kStallSeconds = 30;

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Every segment of the server path escaped, so that a vendor name cannot change the request.
std::string urlFor(CURL* curl, const ServerSettings& server, const std::string& serverPath) {
  std::string url = server.url;
  std::size_t at = 0;
  while (at < serverPath.size() && serverPath[at] == '/') ++at;
  bool first = true;
  while (at <= serverPath.size()) {
    const std::size_t slash = std::min(serverPath.find('/', at), serverPath.size());
    const std::string segment = serverPath.substr(at, slash - at);
    char* escaped = curl_easy_escape(curl, segment.c_str(), static_cast<int>(segment.size()));
    if (!first) url += '/';
    url += escaped != nullptr ? escaped : "";
    curl_free(escaped);
    first = false;
    at = slash + 1;
  }
  return url;
}

struct Transfer {
  CURL* curl = nullptr;
  const std::function<bool(const std::uint8_t*, std::size_t)>* consume = nullptr;
  const FtpProgress* progress = nullptr;
  curl_off_t received = 0;
  int lastPercent = 0;
  bool failed = false;

  std::size_t take(const char* data, std::size_t size) {
    curl_off_t total = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
    for (std::size_t at = 0; at < size; at += kPiece) {
      const std::size_t n = std::min(kPiece, size - at);
      if (!(*consume)(reinterpret_cast<const std::uint8_t*>(data + at), n)) {
        failed = true;
        return 0;
      }
      received += static_cast<curl_off_t>(n);
      if (total > 0 && *progress) {
        const int percent = static_cast<int>(received * 100 / total);
        if (percent != lastPercent) {
          lastPercent = percent;
          (*progress)(percent);
        }
      }
    }
    return size;
  }

  static std::size_t onData(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<Transfer*>(self)->take(data, size * count);
  }
};

// Runs one download into `consume`; true when the server delivered the whole file.
bool fetch(const ServerSettings& server, const std::string& serverPath,
           const std::function<bool(const std::uint8_t*, std::size_t)>& consume, const FtpProgress& progress,
           curl_off_t& size) {
  initialiseCurlOnce();
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) return false;
  CURL* c = curl.get();
  const std::string url = urlFor(c, server, serverPath);
  Transfer transfer;
  transfer.curl = c;
  transfer.consume = &consume;
  transfer.progress = &progress;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(c, CURLOPT_USERNAME, server.user.c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, server.password.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT, "WinInet Ftp");
  curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 1L);
  curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::onData);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  if (progress) progress(0);
  const CURLcode result = curl_easy_perform(c);
  size = -1;
  curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
  if (result != CURLE_OK || transfer.failed) {
    base::trace("ftp %s: %s\n", serverPath.c_str(), curl_easy_strerror(result));
    return false;
  }
  // A server that announced a size and sent less has dropped the transfer.
  return size < 0 || transfer.received == size;
}

}  // namespace

bool ftpDownloadFile(const ServerSettings& server, const std::string& serverPath,
                     const std::filesystem::path& localPath, const FtpProgress& progress) {
  std::filesystem::path temporary = localPath;
  temporary += ".part";
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(nullptr, &std::fclose);
  // Opened at the first byte, so that nothing is created for a file the server cannot open.
  const auto consume = [&](const std::uint8_t* data, std::size_t n) {
    if (!out) out.reset(std::fopen(temporary.c_str(), "wb"));
    return out && std::fwrite(data, 1, n, out.get()) == n;
  };
  curl_off_t size = -1;
  bool ok = fetch(server, serverPath, consume, progress, size);
  if (ok && !out) out.reset(std::fopen(temporary.c_str(), "wb"));  // an empty file
  if (out) ok = std::fclose(out.release()) == 0 && ok;
  std::error_code ec;
  if (ok) std::filesystem::rename(temporary, localPath, ec);
  if (!ok || ec) {
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

std::vector<std::uint8_t> ftpDownloadBuffer(const ServerSettings& server, const std::string& serverPath,
                                            const FtpProgress& progress) {
  std::vector<std::uint8_t> bytes;
  const auto consume = [&](const std::uint8_t* data, std::size_t n) {
    bytes.insert(bytes.end(), data, data + n);
    return true;
  };
  curl_off_t size = -1;
  if (!fetch(server, serverPath, consume, progress, size) || size < 0) return {};
  return bytes;
}

bool ftpDownloadFile(const std::string& serverPath, const std::filesystem::path& localPath,
                     const FtpProgress& progress) {
  return ftpDownloadFile(updateServer(), serverPath, localPath, progress);
}

std::vector<std::uint8_t> ftpDownloadBuffer(const std::string& serverPath, const FtpProgress& progress) {
  return ftpDownloadBuffer(updateServer(), serverPath, progress);
}

}  // namespace update
