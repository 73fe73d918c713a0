#include "gui/widgets/up_down.h"

#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

UpDown::UpDown(int min, int max, int position, QWidget* parent)
    : QWidget(parent), min_(min), max_(max), position_(position) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(b);
  }
  connect(up_, &QToolButton::clicked, this, [this] { press(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { press(-1); });
}

void UpDown::press(int direction) {
  emit changing();
  position_ = std::clamp(position_ + direction, min_, max_);
  emit clicked(direction > 0);
}
