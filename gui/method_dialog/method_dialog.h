// The dialog "method of image N": a channel's method settings file
// (settings/method_settings.h) as controls. It opens with what the file holds;
// "OK" checks the typed values as the file's reader checks them, saves the
// file and closes; a value the reader refuses is reported in the error box
// and the dialog stays open with the texts as typed. "Cancel" leaves the file.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <string>
#include <vector>

#include "settings/method_settings.h"
#include "gui/widgets/edit_box.h"

class MethodDialog : public QDialog {
  Q_OBJECT

 public:
  // `channel` 0 or 1; `channel_name` as the menus name it ("image 1").
  MethodDialog(int channel, const std::string& channel_name, QWidget* parent = nullptr);

  int channel() const { return channel_; }
  // Fills the controls from the channel's method file (the defaults when it
  // does not exist). Throws SettingsError for a file that cannot be taken;
  // the controls then show the defaults, so "OK" can replace the file.
  void load();
  // The controls as `settings` (a period list as "1280,80,10").
  void show_settings(const MethodSettings& settings);
  // The file's lines the controls describe, texts as typed.
  std::vector<std::string> typed_lines() const;

  // ---- Controls -------------------------------------------------------------
  QComboBox* method_box;  // quadrature, phase-shift, fourier
  QSpinBox* steps_box;    // 3..64
  EditBox* periods_box;   // "1280,80,10"; empty: the scan settings' period
  EditBox *gamma_box, *blur_box, *ambient_box;
  QSpinBox* bits_box;     // 8..16
  QLabel* note_label;     // what the method takes, in a few words
  QPushButton *ok_button, *cancel_button;

  // ---- Handlers ---------------------------------------------------------------
  void method_boxChange();
  void ok_buttonClick();
  void cancel_buttonClick();

 private:
  int channel_;
};
