#pragma once
// The baud boxes' list, shared by the serial and touch panels: the settings store a box's index,
// so every box shows the same rates at the same places. The first kShownBaudRates are listed; the
// rest are rates an index can still name.
#include <QComboBox>

#include <cstddef>

namespace widgets {

inline constexpr int kBaudListRates[] = {600,   1200,   2400,   4800,   9600,   19200,  38400,  57600,
                                         115200, 128000, 230400, 256000, 460800, 921600, 1000000};
inline constexpr std::size_t kShownBaudRates = 12;

inline void fillBaudBox(QComboBox& box) {
  for (std::size_t i = 0; i < kShownBaudRates; ++i) box.addItem(QString::number(kBaudListRates[i]));
}

}  // namespace widgets
