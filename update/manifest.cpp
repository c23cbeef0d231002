#include "update/manifest.hpp"

#include <tinyxml2.h>

#include <fstream>
#include <iterator>

#include "base/strformat.hpp"

namespace update {

namespace {

std::optional<ManifestRecord> parseRecords(std::string_view xml, const char* listName) {
  tinyxml2::XMLDocument doc;
  if (doc.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) return std::nullopt;
  const tinyxml2::XMLElement* root = doc.FirstChildElement();
  if (root == nullptr) return std::nullopt;
  const tinyxml2::XMLElement* latest = root->FirstChildElement("latest");
  const tinyxml2::XMLElement* firmwares = root->FirstChildElement(listName);
  if (latest == nullptr || firmwares == nullptr) return std::nullopt;
  const char* wanted = latest->Attribute("ver");
  if (wanted == nullptr) return std::nullopt;
  for (const auto* item = firmwares->FirstChildElement("item"); item != nullptr; item = item->NextSiblingElement("item")) {
    const char* ver = item->Attribute("ver");
    if (ver == nullptr || std::string_view(ver) != wanted) continue;
    const char* path = item->Attribute("path");
    const char* hash = item->Attribute("hash");
    return ManifestRecord{ver, path != nullptr ? path : "", hash != nullptr ? hash : ""};
  }
  return std::nullopt;
}

}  // namespace

std::optional<ManifestRecord> parseManifest(std::string_view xml) { return parseRecords(xml, "firmwares"); }

std::optional<ManifestRecord> parseAppManifest(std::string_view xml) { return parseRecords(xml, "apps"); }

std::optional<ManifestRecord> readManifestFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parseManifest(text);
}

std::string usbManifestPath(int versionType, const std::string& vendor) {
  switch (versionType) {
    case 1: return "/QUBRIXToolTFT/v2/fw_no_logo.xml";
    case 2: return "/QUBRIXToolTFT/v2/fw_no_logo_no_model.xml";
    case 3: return base::format("/Custom/%s/QUBRIXToolTFT/fw.xml", vendor.c_str());
    default: return "/QUBRIXToolTFT/v2/fw.xml";
  }
}

}  // namespace update
