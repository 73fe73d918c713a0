// TFormParameters: the controls of the dialog, its handlers, and the storing
// of both channels' settings on "OK".
#include "gui/parameters_dialog/unit_parameters.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

#include "common/text_to_number.h"
#include "analysis/diopters.h"
#include "gui/widgets/guarded_connect.h"
#include "gui/widgets/second_window.h"

namespace {

constexpr int kFormWidth = 506;
constexpr int kFormHeight = 564;
constexpr int kEditWidth = 33;
constexpr int kEditHeight = 21;
// Inside a group box: caption at the left edge, box, unit right of the box.
constexpr int kCaptionX = 8;
constexpr int kEditX = 136;
constexpr int kUnitX = 176;
// The image sizes the simulation is made for; the dimension boxes always
// hold these, and "OK" never stores less than kMinPixels.
const QString kXPixels = QStringLiteral("1280");
const QString kYPixels = QStringLiteral("1024");
constexpr double kMinPixels = 256.0;

QString qtext(const std::string& text) { return QString::fromStdString(text); }

// One row of a channel group: caption, box with its form text, unit.
EditBox* row(QGroupBox* group, int y, const char* caption, const char* text, const char* unit) {
  auto* c = new QLabel(QString::fromUtf8(caption), group);
  c->move(kCaptionX, y + 4);
  c->adjustSize();
  auto* e = new EditBox(QString::fromUtf8(text), group);
  e->setGeometry(kEditX, y, kEditWidth, kEditHeight);
  if (unit[0] != '\0') {
    auto* u = new QLabel(QString::fromUtf8(unit), group);
    u->move(kUnitX, y + 4);
    u->adjustSize();
  }
  return e;
}

}  // namespace

TFormParameters::TFormParameters(std::array<SimParams*, 2> records, QWidget* parent)
    : QWidget(parent, Qt::Window), records_(records) {
  prepare_second_window(*this, "FormParameters", "parameters");
  create_controls();
  connect_handlers();
  resize(kFormWidth, kFormHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  guarded([this] { FormCreate(); });
}

void TFormParameters::create_controls() {
  GroupBox1 = new QGroupBox("parameters image 1", this);
  GroupBox1->setGeometry(8, 8, 241, 464);
  GroupBox2 = new QGroupBox("parameters image 2", this);
  GroupBox2->setGeometry(257, 8, 241, 464);

  // Form texts; the files loaded by FormCreate replace them.
  QGroupBox* g = GroupBox1;
  Edit_xpixels = row(g, 48, "x dimension", "1280", "pixels");
  Edit_ypixels = row(g, 88, "y dimension", "1024", "pixels");
  Edit_xres = row(g, 128, "resolution", "0.01", "mm/pixel");
  Edit_radius = row(g, 168, "radius (6.7 - 9.6 mm)", "7.5", "mm");
  Edit_diopters = row(g, 208, "diopters (35 - 50)", "45", "D");
  Edit_alpha = row(g, 248, "angle of triangulation", "30", "deg");
  Edit_lambda = row(g, 288, "wavelength", "8.0", "pixels");
  Edit_maskradius = row(g, 329, "mask radius ", "3.3", "mm");
  Edit_filters = row(g, 368, "filter iterations", "3", "");
  Button1 = new QPushButton("default", g);
  Button1->setGeometry(kEditX - 42, 424, 75, 25);

  g = GroupBox2;
  Edit_xpixels_1 = row(g, 48, "x dimension", "1280", "pixels");
  Edit_ypixels_1 = row(g, 88, "y dimension", "1024", "pixels");
  Edit_xres_1 = row(g, 128, "resolution", "0.01", "mm/pixel");
  Edit_radius_1 = row(g, 168, "radius (6.7 - 9.6 mm)", "7.5", "mm");
  Edit_diopters_1 = row(g, 208, "diopters (35 - 50)", "45", "D");
  Edit_alpha_1 = row(g, 248, "angle of triangulation", "30", "deg");
  Edit_lambda_1 = row(g, 288, "wavelength", "8.0", "pixels");
  Edit_maskradius_1 = row(g, 329, "mask radius ", "3.3", "mm");
  Edit_filters_1 = row(g, 368, "filter iterations", "3", "");
  Button2 = new QPushButton("default", g);
  Button2->setGeometry(kEditX - 42, 424, 75, 25);

  boxes_ = {{
      {Edit_xpixels, Edit_ypixels, Edit_xres, Edit_radius, Edit_diopters, Edit_alpha, Edit_lambda,
       Edit_maskradius, Edit_filters},
      {Edit_xpixels_1, Edit_ypixels_1, Edit_xres_1, Edit_radius_1, Edit_diopters_1, Edit_alpha_1,
       Edit_lambda_1, Edit_maskradius_1, Edit_filters_1},
  }};

  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
  BitBtn2->setGeometry(168, 496, 75, 25);
  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  BitBtn1->setGeometry(264, 496, 75, 25);
  // Escape presses the Cancel button, as a standard Cancel button does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, BitBtn2, &QPushButton::click);
}

void TFormParameters::connect_handlers() {
  using Self = TFormParameters;
  connect_guarded(Edit_xpixels, &QLineEdit::textChanged, this, &Self::Edit_xpixelsChange);
  connect_guarded(Edit_xpixels_1, &QLineEdit::textChanged, this, &Self::Edit_xpixelsChange);
  connect_guarded(Edit_ypixels, &QLineEdit::textChanged, this, &Self::Edit_ypixelsChange);
  connect_guarded(Edit_ypixels_1, &QLineEdit::textChanged, this, &Self::Edit_ypixelsChange);
  connect_guarded(Edit_xres, &QLineEdit::textChanged, this, &Self::Edit_xresChange);
  connect_guarded(Edit_xres_1, &QLineEdit::textChanged, this, &Self::Edit_xres_1Change);
  connect_guarded(Edit_radius, &QLineEdit::textChanged, this, &Self::Edit_radiusChange);
  connect_guarded(Edit_radius_1, &QLineEdit::textChanged, this, &Self::Edit_radiusChange);
  connect_guarded(Edit_alpha, &QLineEdit::textChanged, this, &Self::Edit_alphaChange);
  connect_guarded(Edit_alpha_1, &QLineEdit::textChanged, this, &Self::Edit_alphaChange);
  connect_guarded(Edit_lambda, &QLineEdit::textChanged, this, &Self::Edit_lambdaChange);
  connect_guarded(Edit_lambda_1, &QLineEdit::textChanged, this, &Self::Edit_lambdaChange);
  connect_guarded(Edit_maskradius, &QLineEdit::textChanged, this, &Self::Edit_maskradiusChange);
  connect_guarded(Edit_maskradius_1, &QLineEdit::textChanged, this, &Self::Edit_maskradiusChange);
  connect_guarded(Edit_filters, &QLineEdit::textChanged, this, &Self::Edit_filtersChange);
  connect_guarded(Edit_filters_1, &QLineEdit::textChanged, this, &Self::Edit_filters_1Change);
  connect_guarded(Edit_diopters, &QLineEdit::textChanged, this, &Self::Edit_dioptersChange);
  connect_guarded(Edit_diopters_1, &QLineEdit::textChanged, this, &Self::Edit_diopters_1Change);

  connect_guarded(Edit_radius, &EditBox::exited, this, &Self::Edit_radiusExit);
  connect_guarded(Edit_radius_1, &EditBox::exited, this, &Self::Edit_radius_1Exit);
  connect_guarded(Edit_diopters, &EditBox::exited, this, &Self::Edit_dioptersExit);
  connect_guarded(Edit_diopters_1, &EditBox::exited, this, &Self::Edit_diopters_1Exit);
  connect_guarded(Edit_radius, &EditBox::key_down, this, &Self::Edit_radiusKeyDown);
  connect_guarded(Edit_radius_1, &EditBox::key_down, this, &Self::Edit_radius_1KeyDown);
  connect_guarded(Edit_diopters, &EditBox::key_down, this, &Self::Edit_dioptersKeyDown);
  connect_guarded(Edit_diopters_1, &EditBox::key_down, this, &Self::Edit_diopters_1KeyDown);

  connect_guarded(Button1, &QPushButton::clicked, this, &Self::Button1Click);
  connect_guarded(Button2, &QPushButton::clicked, this, &Self::Button2Click);
  connect_guarded(BitBtn1, &QPushButton::clicked, this, &Self::BitBtn1Click);
  connect_guarded(BitBtn2, &QPushButton::clicked, this, &Self::BitBtn2Click);
}

void TFormParameters::show_dialog() {
  show();
  raise();
  activateWindow();
  guarded([this] { FormActivate(); });
}

void TFormParameters::closeEvent(QCloseEvent* event) {
  guarded([this] { FormClose(); });
  event->accept();  // hides the window; it lives as long as the program
}

std::string TFormParameters::filters_text(int channel) const {
  return boxes_[channel == 1 ? 1 : 0].filters->text_utf8();
}

std::string TFormParameters::radius_text(int channel) const {
  return boxes_[channel == 1 ? 1 : 0].radius->text_utf8();
}

std::string TFormParameters::mask_radius_text(int channel) const {
  return boxes_[channel == 1 ? 1 : 0].maskradius->text_utf8();
}

// ---- Loading and storing ----------------------------------------------------

ChannelSettingsTexts TFormParameters::channel_texts(int channel) const {
  const ChannelBoxes& b = boxes_[channel];
  ChannelSettingsTexts t;
  t.xpixels = b.xpixels->text_utf8();
  t.ypixels = b.ypixels->text_utf8();
  t.xres = b.xres->text_utf8();
  t.radius = b.radius->text_utf8();
  t.diopters = b.diopters->text_utf8();
  t.alpha = b.alpha->text_utf8();
  t.lambda = b.lambda->text_utf8();
  t.maskradius = b.maskradius->text_utf8();
  t.filters = b.filters->text_utf8();
  return t;
}

// Each text set raises the box's change handler, as typing it would.
void TFormParameters::set_channel_texts(int channel, const ChannelSettingsTexts& t) {
  const ChannelBoxes& b = boxes_[channel];
  b.xpixels->set_text(qtext(t.xpixels));
  b.ypixels->set_text(qtext(t.ypixels));
  b.xres->set_text(qtext(t.xres));
  b.radius->set_text(qtext(t.radius));
  b.diopters->set_text(qtext(t.diopters));
  b.alpha->set_text(qtext(t.alpha));
  b.lambda->set_text(qtext(t.lambda));
  b.maskradius->set_text(qtext(t.maskradius));
  b.filters->set_text(qtext(t.filters));
}

// Value texts go in unchanged, a missing key as the empty text; the diopters
// box keeps its text until the dialog is shown and derives it from the
// radius.
void TFormParameters::load_channel(int channel) {
  set_channel_texts(channel, read_settings_texts(channel, channel_texts(channel)));
}

void TFormParameters::store_channel(int channel) {
  const ChannelSettingsTexts t = channel_texts(channel);
  write_settings_texts(channel, t);
  SimParams* record = records_[channel];
  if (record == nullptr) return;
  // The record changes only as a whole: a box that is not a number ends the
  // handler with the record as it was, not half updated.
  *record = sim_params_from_texts(t, *record);
}

// ---- Radius and diopters ----------------------------------------------------

void TFormParameters::radius_to_diopters_of(int channel) {
  const ChannelBoxes& b = boxes_[channel];
  const RadiusDiopters t = radius_to_diopters(b.radius->text_utf8());
  b.radius->set_text(qtext(t.radius));
  b.diopters->set_text(qtext(t.diopters));
}

void TFormParameters::diopters_to_radius_of(int channel) {
  const ChannelBoxes& b = boxes_[channel];
  const RadiusDiopters t = diopters_to_radius(b.diopters->text_utf8());
  b.diopters->set_text(qtext(t.diopters));
  b.radius->set_text(qtext(t.radius));
}

// Enter leaves the typed diopters as they are and only fills in the radius.
void TFormParameters::diopters_enter_of(int channel) {
  const ChannelBoxes& b = boxes_[channel];
  const int precision = channel == 0 ? kDioptersPrecision : kShortRadiusPrecision;
  b.radius->set_text(qtext(radius_of_diopters(b.diopters->text_utf8(), precision)));
}

// ---- Handlers -----------------------------------------------------------------

void TFormParameters::FormCreate() {
  settings_changed = false;
  load_channel(0);
  load_channel(1);
}

// Each showing derives the diopters from the radius boxes, channel 0 first.
void TFormParameters::FormActivate() {
  radius_to_diopters_of(0);
  radius_to_diopters_of(1);
}

void TFormParameters::FormClose() { FormActivate(); }

void TFormParameters::BitBtn1Click() {
  if (settings_changed) {
    for (EditBox* box : {Edit_xpixels, Edit_xpixels_1, Edit_ypixels, Edit_ypixels_1}) {
      if (text_to_double(box->text_utf8()) < kMinPixels) box->set_text(QStringLiteral("256"));
    }
    store_channel(0);
    store_channel(1);
  }
  close();
  settings_changed = false;
}

void TFormParameters::BitBtn2Click() { close(); }

void TFormParameters::Button1Click() {
  set_channel_texts(0, ChannelSettingsTexts{});
  settings_changed = true;
}

void TFormParameters::Button2Click() {
  set_channel_texts(1, ChannelSettingsTexts{});
  settings_changed = true;
}

// Both channels share the simulation's image size: whatever is typed or
// loaded, the dimension boxes go back to it.
void TFormParameters::Edit_xpixelsChange() {
  settings_changed = true;
  Edit_xpixels->set_text(kXPixels);
  Edit_xpixels_1->set_text(Edit_xpixels->text());
}

void TFormParameters::Edit_ypixelsChange() {
  settings_changed = true;
  Edit_ypixels->set_text(kYPixels);
  Edit_ypixels_1->set_text(Edit_ypixels->text());
}

// Both channels share one camera: the resolution boxes mirror each other.
void TFormParameters::Edit_xresChange() {
  settings_changed = true;
  Edit_xres_1->set_text(Edit_xres->text());
}

void TFormParameters::Edit_xres_1Change() {
  settings_changed = true;
  Edit_xres->set_text(Edit_xres_1->text());
}

void TFormParameters::Edit_radiusChange() { settings_changed = true; }
void TFormParameters::Edit_alphaChange() { settings_changed = true; }
void TFormParameters::Edit_lambdaChange() { settings_changed = true; }
void TFormParameters::Edit_maskradiusChange() { settings_changed = true; }
void TFormParameters::Edit_filtersChange() { settings_changed = true; }
void TFormParameters::Edit_filters_1Change() { settings_changed = true; }
void TFormParameters::Edit_dioptersChange() { settings_changed = true; }
void TFormParameters::Edit_diopters_1Change() { settings_changed = true; }

void TFormParameters::Edit_radiusExit() { radius_to_diopters_of(0); }
void TFormParameters::Edit_radius_1Exit() { radius_to_diopters_of(1); }
void TFormParameters::Edit_dioptersExit() { diopters_to_radius_of(0); }
void TFormParameters::Edit_diopters_1Exit() { diopters_to_radius_of(1); }

void TFormParameters::Edit_radiusKeyDown(int key) {
  if (key == kEnterKey) radius_to_diopters_of(0);
}

void TFormParameters::Edit_radius_1KeyDown(int key) {
  if (key == kEnterKey) radius_to_diopters_of(1);
}

void TFormParameters::Edit_dioptersKeyDown(int key) {
  if (key == kEnterKey) diopters_enter_of(0);
}

void TFormParameters::Edit_diopters_1KeyDown(int key) {
  if (key == kEnterKey) diopters_enter_of(1);
}
