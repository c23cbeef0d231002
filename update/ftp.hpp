#pragma once
// Downloads from the update server (server_settings.hpp) over FTP in passive mode, binary, with
// libcurl. Progress is the percentage received: 0 before the transfer, then after every piece of at
// most 4096 bytes whenever it changed.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "update/server_settings.hpp"

namespace update {

using FtpProgress = std::function<void(int percent)>;

// True when the whole file arrived and now lies at `localPath`. The file is written beside it under
// a temporary name and renamed at the end, so `localPath` never holds a partial download: after a
// refused login, a missing file or a dropped transfer it does not exist.
bool ftpDownloadFile(const std::string& serverPath, const std::filesystem::path& localPath,
                     const FtpProgress& progress = {});
// The file's bytes; empty on any failure or short read.
std::vector<std::uint8_t> ftpDownloadBuffer(const std::string& serverPath, const FtpProgress& progress = {});

// The same against a given server (the ones above use updateServer()).
bool ftpDownloadFile(const ServerSettings& server, const std::string& serverPath,
                     const std::filesystem::path& localPath, const FtpProgress& progress = {});
std::vector<std::uint8_t> ftpDownloadBuffer(const ServerSettings& server, const std::string& serverPath,
                                            const FtpProgress& progress = {});

}  // namespace update
