#pragma once
// The one way the windows show a core operation's message box: its caption, text and icon, with OK.
#include <string>

#include "base/report.hpp"

class QWidget;

namespace widgets {

void showMessageBox(QWidget* parent, const std::string& caption, const std::string& text, base::MessageIcon icon);

}  // namespace widgets
