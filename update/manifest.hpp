#pragma once
// The firmware manifest ("fw.xml") the update server publishes:
//   <any><latest ver="1.0.3"/><firmwares><item ver="1.0.3" path="/..." hash="<md5>"/>...</firmwares></any>
// The record is the first item whose ver equals latest's ver, compared as text.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace update {

struct ManifestRecord {
  std::string version;
  std::string path;
  std::string hash;
};

// Nothing for text that is not XML or lacks latest, firmwares or a matching item. Takes any bytes.
std::optional<ManifestRecord> parseManifest(std::string_view xml);
std::optional<ManifestRecord> readManifestFile(const std::filesystem::path& file);
// The application's manifest ("tool.xml"): the same with `apps` in place of `firmwares`.
std::optional<ManifestRecord> parseAppManifest(std::string_view xml);

// Where the manifest of a programmer lives on the server.
inline constexpr const char* kComManifestPath = "/QubrixTool/fw.xml";
// For a USB programmer, by the version type it reports (and the vendor name of type 3).
std::string usbManifestPath(int versionType, const std::string& vendor);

}  // namespace update
