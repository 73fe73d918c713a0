#include "gui/widgets/second_window.h"

#include <QWidget>

#include "gui/widgets/form_font.h"

void prepare_second_window(QWidget& window, const char* object_name, const char* title) {
  window.setObjectName(object_name);
  window.setWindowTitle(title);
  window.setAttribute(Qt::WA_QuitOnClose, false);
  use_form_font(window);
}
