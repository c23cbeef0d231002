// What the update service answers and what configures it: version strings, the XML manifests, the
// server settings of the configuration file and the sealed built-in settings, on any bytes.
// Invariants: a parsed version formats and parses back to itself; a manifest or an [Update]
// section written from arbitrary values reads back those values; the server is the built-in one or
// an ftp:// URL ending in '/'; a deciphered slot keeps its length less the zero padding.
#include <fuzzer/FuzzedDataProvider.h>
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "firmware/cipher/aes.hpp"
#include "firmware/cipher/update_service.hpp"
#include "fuzz/invariant.hpp"
#include "update/manifest.hpp"
#include "update/server_settings.hpp"
#include "update/version.hpp"

namespace {

// Printable ASCII without blanks at either end, the values a manifest or settings file carries.
std::string value(FuzzedDataProvider& in, std::size_t max) {
  std::string text = in.ConsumeRandomLengthString(max);
  for (char& c : text) c = static_cast<char>(0x21 + static_cast<unsigned char>(c) % 0x5E);
  return text;
}

void versions(const std::string& text) {
  try {
    const update::FirmwareVersion v = update::parseFirmwareVersion(text);
    fuzzing::require(update::parseFirmwareVersion(update::formatVersion(v)) == v, "version round trip");
  } catch (const std::runtime_error&) {
  }
}

void manifests(FuzzedDataProvider& in, const std::string& raw) {
  (void)update::parseManifest(raw);
  (void)update::parseAppManifest(raw);

  const std::string ver = value(in, 12), path = value(in, 40), hash = value(in, 32);
  const bool app = in.ConsumeBool();
  tinyxml2::XMLPrinter printer;
  printer.OpenElement("root");
  printer.OpenElement("latest");
  printer.PushAttribute("ver", ver.c_str());
  printer.CloseElement();
  printer.OpenElement(app ? "apps" : "firmwares");
  printer.OpenElement("item");
  printer.PushAttribute("ver", (ver + "x").c_str());
  printer.CloseElement();
  printer.OpenElement("item");
  printer.PushAttribute("ver", ver.c_str());
  printer.PushAttribute("path", path.c_str());
  printer.PushAttribute("hash", hash.c_str());
  printer.CloseElement();
  printer.CloseElement();
  printer.CloseElement();
  const std::string xml(printer.CStr());
  const auto record = app ? update::parseAppManifest(xml) : update::parseManifest(xml);
  fuzzing::require(record && record->version == ver && record->path == path && record->hash == hash,
                   "a manifest reads back its matching item");
}

void settings(FuzzedDataProvider& in, const std::string& raw) {
  const update::ServerSettings builtIn{"ftp://built.in:21/", "u", "p"};
  const update::ServerSettings fromRaw = update::serverSettingsFrom(raw, builtIn);
  const bool isBuiltIn = fromRaw.url == builtIn.url && fromRaw.user == builtIn.user && fromRaw.password == builtIn.password;
  fuzzing::require(isBuiltIn || (fromRaw.url.starts_with("ftp://") && fromRaw.url.back() == '/'),
                   "the built-in server or an ftp:// URL");

  const std::string host = value(in, 30), user = value(in, 16), password = value(in, 32);
  const std::string ini = "[Other]\nServer=ftp://elsewhere/\n[ Update ]\r\n Server = ftp://" + host +
                          "/\nUser=" + user + "\nPassword=  " + password + "\t\n";
  const update::ServerSettings named = update::serverSettingsFrom(ini, builtIn);
  fuzzing::require(named.url == "ftp://" + host + "/" && named.user == user && named.password == password,
                   "an [Update] section reads back");
}

void sealed(const std::uint8_t* data, std::size_t size) {
  const std::string opened = cipher::openUpdateSetting(data, size);
  fuzzing::require(opened.size() <= size && (opened.empty() || opened.back() != '\0'), "padding dropped");
  fuzzing::require(cipher::AesDecryptToString(data, size).size() == size, "one byte out per byte in");
  if (size >= 16) {
    cipher::AesKey key{};
    std::copy_n(data, key.size(), key.begin());
    fuzzing::require(cipher::CAES(key).decryptToString(data + 16, size - 16).size() == size - 16, "any key");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  versions(raw);
  FuzzedDataProvider in(data, size);
  manifests(in, raw);
  settings(in, raw);
  sealed(data, size);
  return 0;
}
