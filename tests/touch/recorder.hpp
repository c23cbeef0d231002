#pragma once
// A session sink that keeps what the window would show: log lines, message boxes, button states,
// and the table's cells through the real TableWriter.
#include <array>
#include <string>
#include <vector>

#include "touch/session_sink.hpp"
#include "touch/table_writer.hpp"

namespace touchtest {

struct Cell {
  std::string text;
  touch::Rgb background;
  bool editable = false;
};

class Grid final : public touch::CellTarget {
 public:
  int rowCount() const override { return static_cast<int>(rows.size()); }
  void setRowCount(int n) override { rows.resize(static_cast<std::size_t>(n)); }
  void setCellText(int r, int c, const std::string& text) override {
    at(r, c).text = text;
    ++writes;
  }
  void setCellBackground(int r, int c, touch::Rgb colour) override {
    at(r, c).background = colour;
    ++writes;
  }
  void setCellEditable(int r, int c) override { at(r, c).editable = true; }
  Cell& at(int r, int c) { return rows.at(static_cast<std::size_t>(r)).at(static_cast<std::size_t>(c)); }

  std::vector<std::array<Cell, touch::kTableColumns>> rows;
  int writes = 0;
};

struct Line {
  std::string text;
  bool error;
};

class Recorder final : public touch::SessionSink {
 public:
  void onLog(const std::string& line, base::LogColour colour) override {
    lines.push_back({line, colour == base::LogColour::Error});
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    messages.push_back(caption + ": " + text);
  }
  void onClearTable() override { writer.clear(); }
  void onChannelRow(std::size_t i, std::uint8_t number) override { writer.channelRow(i, number); }
  void onChannelValue(std::size_t i, touch::Field f, std::int32_t v) override { writer.value(i, f, v); }
  void onChannelCount(std::size_t count) override { writer.setChannelCount(count); }
  void onKeyFlags(std::uint64_t flags) override { writer.keyFlags(flags); }
  void onReference(touch::Field f, std::int32_t v) override { writer.reference(f, v); }
  void onButtons(const touch::ButtonStates& s) override { buttons = s; }
  void onPowerButton(bool offersOn) override { powerOffersOn = offersOn; }
  void onExported(const std::filesystem::path& file) override { exported = file; }
  void onSample(const touch::ChannelModel&, base::Millis) override { ++samples; }

  std::vector<std::string> errors() const {
    std::vector<std::string> out;
    for (const Line& l : lines) {
      if (l.error) out.push_back(l.text);
    }
    return out;
  }

  Grid grid;
  touch::TableWriter writer{grid};
  std::vector<Line> lines;
  std::vector<std::string> messages;
  touch::ButtonStates buttons;
  bool powerOffersOn = false;
  std::filesystem::path exported;
  int samples = 0;
};

}  // namespace touchtest
