// TFormParameters: the controls of the dialog, its handlers, and the storing
// of both channels' settings on "OK".
#include "parameters_dialog/unit_parameters.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "main_window/error_box.h"
#include "parameters_dialog/diopters.h"

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

// An image side read from its box: a number truncated towards zero. A value
// no 32-bit integer holds is refused like any text that is not a number.
int32_t pixels_of(const std::string& text) {
  const double value = std::trunc(text_to_double(text));
  if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
    throw ConversionError("'" + text + "' is not a valid integer value");
  return static_cast<int32_t>(value);
}

}  // namespace

TFormParameters::TFormParameters(WorkbenchData* data, QWidget* parent)
    : QWidget(parent, Qt::Window), data_(data) {
  setObjectName("FormParameters");
  setWindowTitle("parameters");
  // The program ends with the main window, even while the dialog is shown.
  setAttribute(Qt::WA_QuitOnClose, false);
  QFont font = this->font();
  font.setPointSize(8);
  setFont(font);
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

  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
  BitBtn2->setGeometry(168, 496, 75, 25);
  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  BitBtn1->setGeometry(264, 496, 75, 25);
  // Escape presses the Cancel button, as a standard Cancel button does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, BitBtn2, &QPushButton::click);
}

void TFormParameters::connect_handlers() {
  using Handler = void (TFormParameters::*)();
  using KeyHandler = void (TFormParameters::*)(int);
  const auto on_change = [this](EditBox* box, Handler handler) {
    connect(box, &QLineEdit::textChanged, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  const auto on_exit = [this](EditBox* box, Handler handler) {
    connect(box, &EditBox::exited, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  const auto on_key = [this](EditBox* box, KeyHandler handler) {
    connect(box, &EditBox::key_down, this,
            [this, handler](int key) { guarded([this, handler, key] { (this->*handler)(key); }); });
  };
  const auto on_click = [this](QPushButton* button, Handler handler) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };

  on_change(Edit_xpixels, &TFormParameters::Edit_xpixelsChange);
  on_change(Edit_xpixels_1, &TFormParameters::Edit_xpixelsChange);
  on_change(Edit_ypixels, &TFormParameters::Edit_ypixelsChange);
  on_change(Edit_ypixels_1, &TFormParameters::Edit_ypixelsChange);
  on_change(Edit_xres, &TFormParameters::Edit_xresChange);
  on_change(Edit_xres_1, &TFormParameters::Edit_xres_1Change);
  on_change(Edit_radius, &TFormParameters::Edit_radiusChange);
  on_change(Edit_radius_1, &TFormParameters::Edit_radiusChange);
  on_change(Edit_alpha, &TFormParameters::Edit_alphaChange);
  on_change(Edit_alpha_1, &TFormParameters::Edit_alphaChange);
  on_change(Edit_lambda, &TFormParameters::Edit_lambdaChange);
  on_change(Edit_lambda_1, &TFormParameters::Edit_lambdaChange);
  on_change(Edit_maskradius, &TFormParameters::Edit_maskradiusChange);
  on_change(Edit_maskradius_1, &TFormParameters::Edit_maskradiusChange);
  on_change(Edit_filters, &TFormParameters::Edit_filtersChange);
  on_change(Edit_filters_1, &TFormParameters::Edit_filters_1Change);
  on_change(Edit_diopters, &TFormParameters::Edit_dioptersChange);
  on_change(Edit_diopters_1, &TFormParameters::Edit_diopters_1Change);

  on_exit(Edit_radius, &TFormParameters::Edit_radiusExit);
  on_exit(Edit_radius_1, &TFormParameters::Edit_radius_1Exit);
  on_exit(Edit_diopters, &TFormParameters::Edit_dioptersExit);
  on_exit(Edit_diopters_1, &TFormParameters::Edit_diopters_1Exit);
  on_key(Edit_radius, &TFormParameters::Edit_radiusKeyDown);
  on_key(Edit_radius_1, &TFormParameters::Edit_radius_1KeyDown);
  on_key(Edit_diopters, &TFormParameters::Edit_dioptersKeyDown);
  on_key(Edit_diopters_1, &TFormParameters::Edit_diopters_1KeyDown);

  on_click(Button1, &TFormParameters::Button1Click);
  on_click(Button2, &TFormParameters::Button2Click);
  on_click(BitBtn1, &TFormParameters::BitBtn1Click);
  on_click(BitBtn2, &TFormParameters::BitBtn2Click);
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
  return (channel == 0 ? Edit_filters : Edit_filters_1)->text_utf8();
}

std::string TFormParameters::radius_text(int channel) const {
  return (channel == 0 ? Edit_radius : Edit_radius_1)->text_utf8();
}

std::string TFormParameters::mask_radius_text(int channel) const {
  return (channel == 0 ? Edit_maskradius : Edit_maskradius_1)->text_utf8();
}

// ---- Loading and storing ----------------------------------------------------

ChannelSettingsTexts TFormParameters::channel_texts(int channel) const {
  const bool c0 = channel == 0;
  ChannelSettingsTexts t;
  t.xpixels = (c0 ? Edit_xpixels : Edit_xpixels_1)->text_utf8();
  t.ypixels = (c0 ? Edit_ypixels : Edit_ypixels_1)->text_utf8();
  t.xres = (c0 ? Edit_xres : Edit_xres_1)->text_utf8();
  t.radius = (c0 ? Edit_radius : Edit_radius_1)->text_utf8();
  t.diopters = (c0 ? Edit_diopters : Edit_diopters_1)->text_utf8();
  t.alpha = (c0 ? Edit_alpha : Edit_alpha_1)->text_utf8();
  t.lambda = (c0 ? Edit_lambda : Edit_lambda_1)->text_utf8();
  t.maskradius = (c0 ? Edit_maskradius : Edit_maskradius_1)->text_utf8();
  t.filters = (c0 ? Edit_filters : Edit_filters_1)->text_utf8();
  return t;
}

// Each text set raises the box's change handler, as typing it would.
void TFormParameters::set_channel_texts(int channel, const ChannelSettingsTexts& t) {
  const bool c0 = channel == 0;
  (c0 ? Edit_xpixels : Edit_xpixels_1)->set_text(qtext(t.xpixels));
  (c0 ? Edit_ypixels : Edit_ypixels_1)->set_text(qtext(t.ypixels));
  (c0 ? Edit_xres : Edit_xres_1)->set_text(qtext(t.xres));
  (c0 ? Edit_radius : Edit_radius_1)->set_text(qtext(t.radius));
  (c0 ? Edit_diopters : Edit_diopters_1)->set_text(qtext(t.diopters));
  (c0 ? Edit_alpha : Edit_alpha_1)->set_text(qtext(t.alpha));
  (c0 ? Edit_lambda : Edit_lambda_1)->set_text(qtext(t.lambda));
  (c0 ? Edit_maskradius : Edit_maskradius_1)->set_text(qtext(t.maskradius));
  (c0 ? Edit_filters : Edit_filters_1)->set_text(qtext(t.filters));
}

void TFormParameters::load_channel(int channel) {
  const bool c0 = channel == 0;
  const std::vector<std::string> image = read_lines(c0 ? file_image_settings_0 : file_image_settings_1);
  const std::vector<std::string> scan = read_lines(c0 ? file_scan_settings_0 : file_scan_settings_1);
  // Value texts go in unchanged, a missing key as the empty text; the
  // diopters box is derived from the radius when the dialog is shown.
  (c0 ? Edit_xpixels : Edit_xpixels_1)->set_text(qtext(settings_value(image, "XPixels")));
  (c0 ? Edit_ypixels : Edit_ypixels_1)->set_text(qtext(settings_value(image, "YPixels")));
  (c0 ? Edit_xres : Edit_xres_1)->set_text(qtext(settings_value(scan, "CamResX")));
  (c0 ? Edit_radius : Edit_radius_1)->set_text(qtext(settings_value(image, "Radius")));
  (c0 ? Edit_alpha : Edit_alpha_1)->set_text(qtext(settings_value(scan, "Alpha")));
  (c0 ? Edit_lambda : Edit_lambda_1)->set_text(qtext(settings_value(scan, "LambdaF")));
  (c0 ? Edit_maskradius : Edit_maskradius_1)->set_text(qtext(settings_value(scan, "MaskRadius")));
  (c0 ? Edit_filters : Edit_filters_1)->set_text(qtext(settings_value(scan, "NFilt")));
}

void TFormParameters::store_channel(int channel) {
  const bool c0 = channel == 0;
  const ChannelSettingsTexts t = channel_texts(channel);
  write_lines(c0 ? file_scan_settings_0 : file_scan_settings_1, scan_settings_lines(t));
  write_lines(c0 ? file_image_settings_0 : file_image_settings_1, image_settings_lines(t));
  if (data_ == nullptr) return;
  // The record changes only as a whole: a box that is not a number ends the
  // handler with the record as it was, not half updated.
  SimParams& record = c0 ? data_->sim_params_0 : data_->sim_params_1;
  SimParams p = record;
  p.x_pixels = pixels_of(t.xpixels);
  p.y_pixels = pixels_of(t.ypixels);
  p.pixel_size = text_to_double(t.xres);
  p.fringe_period = text_to_double(t.lambda);
  p.alpha_deg = text_to_double(t.alpha);
  p.radius = text_to_double(t.radius);
  p.offset_x = 0.0;
  p.offset_y = 0.0;
  record = p;  // dynamic and noise belong to the main window's controls
}

// ---- Radius and diopters ----------------------------------------------------

void TFormParameters::radius_to_diopters_of(int channel) {
  EditBox* radius = channel == 0 ? Edit_radius : Edit_radius_1;
  EditBox* diopters = channel == 0 ? Edit_diopters : Edit_diopters_1;
  const RadiusDiopters t = radius_to_diopters(radius->text_utf8());
  radius->set_text(qtext(t.radius));
  diopters->set_text(qtext(t.diopters));
}

void TFormParameters::diopters_to_radius_of(int channel) {
  EditBox* radius = channel == 0 ? Edit_radius : Edit_radius_1;
  EditBox* diopters = channel == 0 ? Edit_diopters : Edit_diopters_1;
  const RadiusDiopters t = diopters_to_radius(diopters->text_utf8());
  diopters->set_text(qtext(t.diopters));
  radius->set_text(qtext(t.radius));
}

// Enter leaves the typed diopters as they are and only fills in the radius.
void TFormParameters::diopters_enter_of(int channel) {
  EditBox* radius = channel == 0 ? Edit_radius : Edit_radius_1;
  EditBox* diopters = channel == 0 ? Edit_diopters : Edit_diopters_1;
  const int precision = channel == 0 ? kDioptersPrecision : kShortRadiusPrecision;
  radius->set_text(qtext(radius_of_diopters(diopters->text_utf8(), precision)));
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
