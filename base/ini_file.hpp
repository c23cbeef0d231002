#pragma once
// A small INI file: "[section]" lines and "key=value" lines, UTF-8, kept in file order so that a
// file written back looks like the one read. QSettings would escape the Chinese section and key
// names of the settings file; this keeps them as they are.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {

// Where this user's settings files live: $XDG_CONFIG_HOME/QUBRIX (an absolute XDG_CONFIG_HOME),
// else ~/.config/QUBRIX.
std::filesystem::path settingsDirectory();

class IniFile {
 public:
  static IniFile parse(std::string_view text);
  // An unreadable or missing file reads as an empty one.
  static IniFile read(const std::filesystem::path& path);

  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  void setValue(std::string_view section, std::string_view key, std::string value);

  std::string text() const;
  // Creates the folder when needed; the file is written whole or not at all.
  bool write(const std::filesystem::path& path) const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  std::vector<Section> sections_;
};

}  // namespace base
