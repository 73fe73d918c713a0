#include "gui/method_dialog/method_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <iterator>

#include "common/round_trip_number.h"
#include "gui/widgets/error_box.h"
#include "gui/widgets/form_font.h"
#include "gui/widgets/guarded_connect.h"

namespace {

constexpr FringeMethod kMethods[] = {FringeMethod::quadrature, FringeMethod::phase_shift, FringeMethod::fourier};

// What the chosen method measures, under the controls.
const char* method_note(int index) {
  switch (index) {
    case 1:
      return "steps x periods frames, coarse to fine; the finest period is triangulated";
    case 2:
      return "one frame at the finest period, by its spectrum";
    default:
      return "one frame, the engine's own method (8 bits)";
  }
}

// The number fields share one width; the period list takes the row.
constexpr int kNumberWidth = 120;

EditBox* number_box(QWidget* parent) {
  auto* box = new EditBox(parent);
  box->setMaximumWidth(kNumberWidth);
  return box;
}

}  // namespace

MethodDialog::MethodDialog(int channel, const std::string& channel_name, QWidget* parent)
    : QDialog(parent), channel_(channel == 1 ? 1 : 0) {
  setWindowTitle(QString::fromStdString("method of " + channel_name));
  method_box = new QComboBox(this);
  for (const FringeMethod m : kMethods) method_box->addItem(fringe_method_name(m));
  steps_box = new QSpinBox(this);
  steps_box->setRange(3, 64);
  steps_box->setMaximumWidth(kNumberWidth);
  periods_box = new EditBox(this);
  periods_box->setPlaceholderText("the scan settings' period");
  periods_box->setToolTip("fringe periods in pixels, coarse to fine, e.g. 1280,80,10");
  gamma_box = number_box(this);
  gamma_box->setToolTip("projector gamma, above 0 (1: none)");
  blur_box = number_box(this);
  blur_box->setToolTip("defocus as a Gaussian sigma in pixels (0: none)");
  bits_box = new QSpinBox(this);
  bits_box->setRange(8, 16);
  bits_box->setMaximumWidth(kNumberWidth);
  bits_box->setToolTip("camera bit depth; deeper frames are kept as 16-bit PNG");
  ambient_box = number_box(this);
  ambient_box->setToolTip("constant ambient light, grey levels of the 8-bit scale (0: none)");
  note_label = new QLabel(this);
  note_label->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow("method", method_box);
  form->addRow("steps", steps_box);
  form->addRow("periods (px)", periods_box);
  form->addRow("gamma", gamma_box);
  form->addRow("blur (px)", blur_box);
  form->addRow("bits", bits_box);
  form->addRow("ambient", ambient_box);

  ok_button = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  ok_button->setDefault(true);
  cancel_button = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_button);
  buttons->addWidget(cancel_button);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note_label);
  layout->addLayout(buttons);
  use_form_font(*this);
  setMinimumWidth(320);

  // Escape presses "Cancel", as in the parameters dialog.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, cancel_button, &QPushButton::click);
  connect_guarded(method_box, &QComboBox::currentIndexChanged, this, &MethodDialog::method_boxChange);
  connect_guarded(ok_button, &QPushButton::clicked, this, &MethodDialog::ok_buttonClick);
  connect_guarded(cancel_button, &QPushButton::clicked, this, &MethodDialog::cancel_buttonClick);
  show_settings(MethodSettings{});
}

void MethodDialog::show_settings(const MethodSettings& s) {
  for (int i = 0; i < static_cast<int>(std::size(kMethods)); ++i)
    if (kMethods[i] == s.method) method_box->setCurrentIndex(i);
  steps_box->setValue(s.steps);
  std::string periods;
  for (const double p : s.periods) periods += (periods.empty() ? "" : ",") + round_trip_text(p);
  periods_box->setText(QString::fromStdString(periods));
  gamma_box->setText(QString::fromStdString(round_trip_text(s.errors.gamma)));
  blur_box->setText(QString::fromStdString(round_trip_text(s.errors.blur)));
  bits_box->setValue(s.errors.bits);
  ambient_box->setText(QString::fromStdString(round_trip_text(s.errors.ambient)));
  method_boxChange();
}

void MethodDialog::load() {
  show_settings(MethodSettings{});
  show_settings(channel_method_settings(channel_));
}

std::vector<std::string> MethodDialog::typed_lines() const {
  // The file's own lines give the keys and their order; the values are the
  // texts as typed, so that the reader judges them as it judges the file.
  std::vector<std::string> lines = method_settings_lines(MethodSettings{});
  for (std::string& line : lines) {
    const std::string key = line.substr(0, line.find('='));
    std::string value;
    if (key == "Method") value = method_box->currentText().toStdString();
    else if (key == "Steps") value = std::to_string(steps_box->value());
    else if (key == "Periods") value = periods_box->text_utf8();
    else if (key == "Gamma") value = gamma_box->text_utf8();
    else if (key == "Blur") value = blur_box->text_utf8();
    else if (key == "Bits") value = std::to_string(bits_box->value());
    else if (key == "Ambient") value = ambient_box->text_utf8();
    else continue;  // a key the dialog has no control for keeps its default
    line = key + "=" + value;
  }
  return lines;
}

void MethodDialog::method_boxChange() {
  const int index = method_box->currentIndex();
  // Steps count only for phase shifting; the value is kept for the file.
  steps_box->setEnabled(kMethods[index < 0 ? 0 : index] == FringeMethod::phase_shift);
  note_label->setText(method_note(index));
}

void MethodDialog::ok_buttonClick() {
  const char* file = method_file(channel_);
  // Refused values throw here: the error box names the file, the key and
  // the text, and the dialog stays open with what was typed.
  const MethodSettings settings = read_method_settings(typed_lines(), file);
  write_method_file(file, settings);
  accept();
}

void MethodDialog::cancel_buttonClick() { reject(); }
