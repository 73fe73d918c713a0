#include "gui/widgets/error_box.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

std::function<void(const std::string&)> show_error_box = [](const std::string& message) {
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(),
                        QString::fromStdString(message));
};

void guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    show_error_box(error.what());
  }
}
