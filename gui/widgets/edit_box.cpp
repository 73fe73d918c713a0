#include "gui/widgets/edit_box.h"

#include <QKeyEvent>

void EditBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  emit exited();
}

void EditBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  emit key_down(enter ? kEnterKey : event->key());
  QLineEdit::keyPressEvent(event);
}
