#include "ui/serial/serial_views.hpp"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/texts.hpp"
#include "ui/serial/receive_pane.hpp"

CSerialViews::CSerialViews(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("serialArea"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  receive_ = new CReceivePane(this);
  column->addWidget(receive_->searchBar());
  column->addWidget(receive_, 1);

  auto* sendRow = new QHBoxLayout;
  send_ = new QPlainTextEdit(this);
  send_->setObjectName(QStringLiteral("sendEdit"));
  send_->setTabChangesFocus(true);
  send_->setFixedHeight(3 * send_->fontMetrics().lineSpacing() + 12);
  sendRow->addWidget(send_, 1);
  sendButton_ = new QPushButton(QString::fromStdString(base::text("main.send")), this);
  sendButton_->setObjectName(QStringLiteral("sendButton"));
  sendButton_->setMinimumHeight(send_->height());
  sendButton_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  sendRow->addWidget(sendButton_, 0, Qt::AlignTop);
  column->addLayout(sendRow);
}
