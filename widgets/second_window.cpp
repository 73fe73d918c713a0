#include "widgets/second_window.h"

#include <QFont>
#include <QWidget>

void prepare_second_window(QWidget& window, const char* object_name, const char* title) {
  window.setObjectName(object_name);
  window.setWindowTitle(title);
  window.setAttribute(Qt::WA_QuitOnClose, false);
  QFont font = window.font();
  font.setPointSize(8);
  window.setFont(font);
}
