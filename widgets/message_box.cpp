#include "widgets/message_box.hpp"

#include <QMessageBox>

namespace widgets {
namespace {

QMessageBox::Icon boxIcon(base::MessageIcon icon) {
  switch (icon) {
    case base::MessageIcon::Warning:
      return QMessageBox::Warning;
    case base::MessageIcon::Error:
      return QMessageBox::Critical;
    case base::MessageIcon::Question:
      return QMessageBox::Question;
    case base::MessageIcon::Information:
      break;
  }
  return QMessageBox::Information;
}

}  // namespace

void showMessageBox(QWidget* parent, const std::string& caption, const std::string& text, base::MessageIcon icon) {
  QMessageBox box(boxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace widgets
