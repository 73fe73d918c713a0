// TForm1: the channels' method settings, "&Settings" > "method of image N…",
// and the label beside each channel that says how its last "profile"
// measured.
#include <QMenu>

#include "gui/main_window/unit1.h"
#include "gui/method_dialog/method_dialog.h"
#include "gui/widgets/error_box.h"

void TForm1::create_method_menu(QMenu* settings) {
  settings->addSeparator();
  for (int c = 0; c < 2; ++c)
    method_settings[c] = settings->addAction(QString::fromStdString("method of " + channel_name(c) + "…"));
}

void TForm1::connect_method_menu() {
  for (int c = 0; c < 2; ++c)
    connect(method_settings[c], &QAction::triggered, this, [this, c] { guarded([&] { method_settingsClick(c); }); });
}

void TForm1::method_settingsClick(int c) {
  MethodDialog*& dialog = method_dialogs[c];
  if (dialog == nullptr) {
    dialog = new MethodDialog(c, channel_name(c), this);
    dialog->setModal(true);
  }
  // A file the reader refuses is reported; the dialog then opens with the
  // defaults, so that "OK" can replace it.
  guarded([dialog] { dialog->load(); });
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void TForm1::show_method_used(int c, const std::string& method, const std::string& steps_warning) {
  QLabel* label = method_labels[static_cast<std::size_t>(c)];
  const std::string text = channel_name(c) + " measured by " + method;
  // A frame set whose steps differ a little from the plan: said beside the
  // method, the steps measured in the tip.
  label->setText(QString::fromStdString(steps_warning.empty() ? text : text + "; steps off the plan"));
  label->setToolTip(QString::fromStdString(steps_warning.empty() ? text : text + ": " + steps_warning));
}
