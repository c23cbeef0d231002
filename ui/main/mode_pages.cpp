#include "ui/main/mode_pages.hpp"

#include <QLabel>
#include <QVBoxLayout>

CModePage::CModePage(const QString& title, QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(title, this);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->setAlignment(Qt::AlignHCenter);
  layout->addWidget(label);
  layout->addStretch(1);
}

CTOUCH_DISPLAY::CTOUCH_DISPLAY(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("touchGraph")); }
