// TForm1: the controls of the form, its menus, and start-up (FormCreate).
#include "gui/main_window/unit1.h"

#include <QFileDialog>
#include <QFont>
#include <QMenuBar>
#include <QScreen>
#include <QGuiApplication>
#include <ctime>

#include "common/number_text.h"
#include "common/work_files.h"
#include "gui/widgets/error_box.h"
#include "gui/widgets/form_font.h"
#include "render/colour_components.h"
#include "render/colour_bar.h"
#include "render/colour_map.h"
#include "render/line_scan.h"
#include "settings/channel_settings.h"
#include "simulation/random_generator.h"

namespace {

constexpr int kFormWidth = 1024;
constexpr int kFormHeight = 768;
constexpr int kEditWidth = 33;
constexpr int kEditHeight = 21;

QLabel* label(QWidget* parent, const char* caption, int x, int y) {
  auto* l = new QLabel(QString::fromUtf8(caption), parent);
  l->move(x, y);
  l->adjustSize();
  return l;
}

EditBox* edit(QWidget* parent, const char* text, int x, int y, int width = kEditWidth) {
  auto* e = new EditBox(QString::fromUtf8(text), parent);
  e->setGeometry(x, y, width, kEditHeight);
  return e;
}

ImageView* image(QWidget* parent, int x, int y, int w = kMapSide, int h = kMapSide) {
  auto* v = new ImageView(parent);
  v->setGeometry(x, y, w, h);
  return v;
}

QSlider* track_bar(QWidget* parent, int x, int y, int w, int h, int position) {
  auto* t = new QSlider(Qt::Vertical, parent);
  t->setGeometry(x, y, w, h);
  t->setRange(0, 256);
  t->setPageStep(8);
  t->setInvertedAppearance(true);  // the minimum at the top
  t->setValue(position);
  return t;
}

QPushButton* button(QWidget* parent, const char* caption, int x, int y) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setGeometry(x, y, 75, 25);
  return b;
}

UpDown* up_down(QWidget* parent, int x, int y, int position) {
  auto* u = new UpDown(-15, 15, position, parent);
  u->setGeometry(x, y, 15, kEditHeight);
  return u;
}

QComboBox* selector(QWidget* parent, int x, int y) {
  auto* c = new QComboBox(parent);
  c->setEditable(true);
  c->addItems({"PV", "RMS", "mean", "height differences", "binary view", "save data"});
  c->setCurrentIndex(-1);
  c->setEditText("select");
  c->setGeometry(x, y, 113, kEditHeight);
  return c;
}

QAction* hidden_item(QMenu* menu, const char* caption) {
  QAction* a = menu->addAction(QString::fromUtf8(caption));
  a->setVisible(false);
  return a;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("simulation");
  use_form_font(*this);
  setCentralWidget(new QWidget(this));
  create_controls();
  create_menus();
  connect_handlers();
  resize(kFormWidth, kFormHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  ask_data_set_name = [this] {
    return QFileDialog::getSaveFileName(this, "filename without extension").toStdString();
  };
  guarded([this] { FormCreate(); });
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::create_controls() {
  create_channel_inputs();
  create_channel_maps();
  create_difference_map();
  create_status_and_statistics();
  create_magnifier_and_colour_bar();
  create_hidden_controls();
  index_controls();
}

// Contrast and noise bars, "apply", "profile" and the raw image of each
// channel, on the left.
void TForm1::create_channel_inputs() {
  QWidget* w = centralWidget();
  // channel 0 input
  Label1 = label(w, "contrast", 8, 40);
  Label2 = label(w, "noise", 56, 40);
  TrackBarDynamic0 = track_bar(w, 16, 56, 17, 169, 256);
  TrackBarNoise0 = track_bar(w, 56, 56, 25, 169, 0);
  Edit_dyn_0 = edit(w, "1.0", 8, 227);
  Edit_noise_0 = edit(w, "0.0", 48, 227);
  Button_apply_0 = button(w, "apply", 8, 256);
  Button_calculate_0 = button(w, "profile", 8, 288);
  Image0 = image(w, 88, 56);
  Image0->setToolTip("click left mouse button to unwrap");
  Image_scan_0 = image(w, 88, 322, 256, 42);
  // channel 1 input
  TrackBarDynamic1 = track_bar(w, 16, 368, 25, 177, 256);
  TrackBarNoise1 = track_bar(w, 56, 368, 25, 177, 0);
  Edit_dyn_1 = edit(w, "1.0", 8, 547);
  Edit_noise_1 = edit(w, "0.0", 48, 547);
  Button_apply_1 = button(w, "apply", 8, 576);
  Button_calculate_1 = button(w, "profile", 8, 608);
  Image1 = image(w, 88, 376);
  Image1->setToolTip("click left mouse button to unwrap");
  Image_scan_1 = image(w, 88, 640, 256, 42);
  // The surfaces beside the channels (analysis_menu.cpp fills them).
  for (int c = 0; c < 2; ++c) {
    surface_labels[c] = new QLabel(w);
    surface_labels[c]->setGeometry(88, c == 0 ? 28 : 686, 256, 26);
    surface_labels[c]->setWordWrap(true);
    surface_labels[c]->setAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignBottom : Qt::AlignLeft | Qt::AlignTop);
    surface_labels[c]->hide();
    // How the last "profile" measured (method_menu.cpp), empty before one:
    // above image 1's surface label, under image 2's.
    method_labels[c] = new QLabel(w);
    method_labels[c]->setGeometry(88, c == 0 ? 2 : 712, 300, 26);
    method_labels[c]->setWordWrap(true);
    method_labels[c]->setAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignBottom : Qt::AlignLeft | Qt::AlignTop);
  }
}

// The colour maps of both channels with their line scans and range controls.
void TForm1::create_channel_maps() {
  QWidget* w = centralWidget();
  // channel 0 map
  Image_prof_0 = image(w, 400, 56);
  Image_prof_0->setToolTip("click right mouse button for further maps");
  Image_horiz_cross_0 = image(w, 400, 8, 256, 42);
  Label0_horiz_max = label(w, "0", 660, 8);
  Label0_horiz_min = label(w, "0", 660, 36);
  Image_vert_cross_0 = image(w, 352, 56, 40, 256);
  Label0_vert_max = label(w, "0", 352, 314);
  Label0_vert_min = label(w, "0", 352, 330);
  Label_val_0 = label(w, "X", 400, 56);
  ComboBox0 = selector(w, 400, 314);
  Label10 = label(w, "min", 518, 318);
  Edit_min_0 = edit(w, "-5", 540, 314);
  UpDown1 = up_down(w, 573, 314, -5);
  Label4 = label(w, "max", 592, 318);
  Edit_max_0 = edit(w, "5", 616, 314);
  UpDown4 = up_down(w, 649, 314, 5);
  Label18 = label(w, "color range [microns]", 540, 337);
  // channel 1 map
  Image_prof_1 = image(w, 400, 376);
  Image_prof_1->setToolTip("click right mouse button for further maps");
  Image_horiz_cross_1 = image(w, 400, 640, 256, 42);
  Label1_horiz_max = label(w, "1", 660, 640);
  Label1_horiz_min = label(w, "1", 660, 668);
  Image_vert_cross_1 = image(w, 352, 376, 40, 256);
  Label1_vert_max = label(w, "0", 352, 634);
  Label1_vert_min = label(w, "0", 352, 650);
  Label_val_1 = label(w, "X", 400, 376);
  ComboBox1 = selector(w, 400, 354);
  Label15 = label(w, "min", 518, 358);
  Edit_min_1 = edit(w, "-5", 540, 354);
  UpDown2 = up_down(w, 573, 354, -5);
  Label14 = label(w, "max", 592, 358);
  Edit_max_1 = edit(w, "5", 616, 354);
  UpDown3 = up_down(w, 649, 354, 5);
}

// The difference map on the right, with its line scans and range controls.
void TForm1::create_difference_map() {
  QWidget* w = centralWidget();
  // difference map
  Image_diff = image(w, 712, 240);
  Image_diff->setToolTip("click right mouse button for further maps");
  Image_diff_horiz_cross = image(w, 712, 192, 256, 40);
  Label_diff_horiz_max = label(w, "0", 972, 192);
  Label_diff_horiz_min = label(w, "0", 972, 218);
  Image_diff_vert_cross = image(w, 664, 240, 40, 256);
  Label_diff_vert_max = label(w, "0", 664, 498);
  Label_diff_vert_min = label(w, "0", 664, 514);
  Label_val_diff = label(w, "X", 712, 240);
  Label19 = label(w, "color range [microns]", 864, 504);
  Label22 = label(w, "min", 712, 504);
  Edit_min_diff = edit(w, "-5", 734, 500);
  UpDown5 = up_down(w, 767, 500, -5);
  Label23 = label(w, "max", 786, 504);
  Edit_max_diff = edit(w, "5", 810, 500);
  UpDown6 = up_down(w, 843, 500, 5);
}

// The status group (progress and step text) and the statistics group.
void TForm1::create_status_and_statistics() {
  QWidget* w = centralWidget();
  // status
  GroupBox2 = new QGroupBox("status", w);
  GroupBox2->setGeometry(712, 0, 257, 57);
  ProgressBar1 = new QProgressBar(GroupBox2);
  ProgressBar1->setGeometry(16, 20, 225, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Label_action = label(GroupBox2, "", 19, 40);
  Label_action->setFixedWidth(230);
  // statistics
  GroupBox_statistics = new QGroupBox(w);
  GroupBox_statistics->setGeometry(712, 56, 257, 129);
  QWidget* g = GroupBox_statistics;
  Label29 = label(g, "area for data", 8, 12);
  Edit_stat_y = edit(g, "0.3", 88, 8);
  Label27 = label(g, "x", 126, 12);
  Edit_stat_x = edit(g, "0.3", 138, 8);
  Label28 = label(g, "mm", 176, 12);
  Label5 = label(g, "X [mm]", 8, 36);
  Label11 = label(g, "Y [mm]", 72, 36);
  Label12 = label(g, "value", 136, 36);
  Edit_x = edit(g, "0", 8, 52, 57);
  Edit_y = edit(g, "0", 72, 52, 57);
  Edit_val = edit(g, "0", 136, 52, 57);
  Label6 = label(g, "RMS", 8, 82);
  Label7 = label(g, "PV", 88, 82);
  Label8 = label(g, "Mean", 168, 82);
  Edit_RMS = edit(g, "0", 8, 98, 73);
  Edit_PV = edit(g, "0", 88, 98, 73);
  Edit_Mean = edit(g, "0", 168, 98, 81);
  Label3 = label(g, "values in microns", 198, 50);
  Label3->setWordWrap(true);
  Label3->setFixedWidth(56);
  Label3->adjustSize();
}

// Magnifier and colour bar, hidden until the "&Settings" menu shows them.
void TForm1::create_magnifier_and_colour_bar() {
  QWidget* w = centralWidget();
  // magnifier and colour bar
  Image_Lupe = image(w, 758, 526, kMagnifierSide, kMagnifierSide);
  Image_Lupe->hide();
  Label_magnifier = label(w, "2.5 mm x 2.5 mm", 790, 694);
  Label_magnifier->hide();
  Image_skala = image(w, 976, 8, 33, 681);
  Image_skala->hide();
  Label_skala_max = label(w, "MIN", 980, 8);
  Label_skala_max->hide();
  Label_skala_min = label(w, "MAX", 980, 676);
  Label_skala_min->hide();
}

// Controls the form carries but never shows; they exist so their handlers
// and texts behave as the rest of the window expects.
void TForm1::create_hidden_controls() {
  QWidget* w = centralWidget();
  // hidden controls
  Edit_max_noise = edit(w, "64", 8, 700);
  Label26 = label(w, "max noise in greylevels +/-", 44, 704);
  Button1 = button(w, "mean", 100, 700);
  Button2 = button(w, "parameters", 180, 700);
  Button3 = button(w, "parameters", 260, 700);
  Button4 = button(w, "", 340, 700);
  CheckBox_magnifier = new QCheckBox("magnifier", w);
  CheckBox_magnifier->move(420, 700);
  Label13 = label(w, "", 500, 700);
  Label_low = label(w, "", 520, 700);
  Label_up = label(w, "", 540, 700);
  Image2 = image(w, 560, 500, 9, 193);
  Image3 = image(w, 572, 500, 9, 193);
  Label16 = label(w, "color ranges from", 600, 700);
  Label20 = label(w, "color ranges from", 600, 700);
  Label24 = label(w, "color ranges from", 600, 700);
  Label17 = label(w, "to", 700, 700);
  Label21 = label(w, "to", 700, 700);
  Label25 = label(w, "to", 700, 700);
  Label_min_0 = label(w, "", 720, 700);
  Label_max_0 = label(w, "", 760, 700);
  Label_min_1 = label(w, "", 800, 700);
  Label_max_1 = label(w, "", 840, 700);
  Label_min_diff = label(w, "", 880, 700);
  Label_max_diff = label(w, "", 920, 700);
  for (QWidget* hidden :
       std::initializer_list<QWidget*>{Label_val_0, Label_val_1, Label_val_diff, Edit_max_noise,
                                       Label26, Button1, Button2, Button3, Button4,
                                       CheckBox_magnifier, Label13, Label_low, Label_up, Image2,
                                       Image3, Label16, Label20, Label24, Label17, Label21, Label25,
                                       Label_min_0, Label_max_0, Label_min_1, Label_max_1,
                                       Label_min_diff, Label_max_diff})
    hidden->hide();
  for (QLabel* value : {Label_val_0, Label_val_1, Label_val_diff}) {
    QFont bold = value->font();
    bold.setBold(true);
    value->setFont(bold);
  }
}

void TForm1::index_controls() {
  channel_controls_ = {{
      {TrackBarDynamic0, TrackBarNoise0, Edit_dyn_0, Edit_noise_0, Image0, Image_scan_0, ComboBox0,
       Label_min_0, Label_max_0},
      {TrackBarDynamic1, TrackBarNoise1, Edit_dyn_1, Edit_noise_1, Image1, Image_scan_1, ComboBox1,
       Label_min_1, Label_max_1},
  }};
  map_controls_ = {{
      {Image_prof_0, Image_horiz_cross_0, Image_vert_cross_0, Label0_horiz_min, Label0_horiz_max,
       Label0_vert_min, Label0_vert_max, Label_val_0, Edit_min_0, Edit_max_0},
      {Image_prof_1, Image_horiz_cross_1, Image_vert_cross_1, Label1_horiz_min, Label1_horiz_max,
       Label1_vert_min, Label1_vert_max, Label_val_1, Edit_min_1, Edit_max_1},
      {Image_diff, Image_diff_horiz_cross, Image_diff_vert_cross, Label_diff_horiz_min,
       Label_diff_horiz_max, Label_diff_vert_min, Label_diff_vert_max, Label_val_diff, Edit_min_diff,
       Edit_max_diff},
  }};
}

void TForm1::create_menus() {
  QMenu* file = menuBar()->addMenu("&File");
  create_file_menu(file);
  Exit2 = file->addAction("&Exit");
  Parameters1 = menuBar()->addAction("&Parameters");
  QMenu* settings = menuBar()->addMenu("&Settings");
  show_statistics = settings->addAction("show statistics");
  show_magnifier = settings->addAction("show magnifier");
  show_linescans = settings->addAction("show line scans");
  show_labels = settings->addAction("show labels");
  show_colorbar = settings->addAction("show color bar");
  for (QAction* a : {show_statistics, show_magnifier, show_linescans, show_labels, show_colorbar})
    a->setCheckable(true);
  show_statistics->setChecked(true);
  show_linescans->setChecked(true);
  create_method_menu(settings);
  create_analysis_menu();
  create_study_menu();
  create_popup_menus();
  create_quality_menus();
}

// The pop-up menus of the raw images and the maps. Their items exist but are
// hidden: a right click opens a menu only if it has a visible item.
void TForm1::create_popup_menus() {
  PopupMenu0 = new QMenu(this);
  expand = hidden_item(PopupMenu0, "expand");
  PopupMenu1 = new QMenu(this);
  expand2 = hidden_item(PopupMenu1, "expand");
  PopupMenu_container_0 = new QMenu(this);
  PV0 = hidden_item(PopupMenu_container_0, "PV");
  RMS0 = hidden_item(PopupMenu_container_0, "RMS");
  Mean0 = hidden_item(PopupMenu_container_0, "Mean");
  heightdifference0 = hidden_item(PopupMenu_container_0, "height difference");
  binary_view0 = hidden_item(PopupMenu_container_0, "binary view");
  save_data0 = hidden_item(PopupMenu_container_0, "save data");
  load_data = hidden_item(PopupMenu_container_0, "load data");
  PopupMenu_container_1 = new QMenu(this);
  PV1 = hidden_item(PopupMenu_container_1, "PV");
  RMS1 = hidden_item(PopupMenu_container_1, "RMS");
  Mean1 = hidden_item(PopupMenu_container_1, "Mean");
  heightdifference1 = hidden_item(PopupMenu_container_1, "height difference");
  binary_view1 = hidden_item(PopupMenu_container_1, "binary view");
  save_data1 = hidden_item(PopupMenu_container_1, "save data");
  load_data1 = hidden_item(PopupMenu_container_1, "load data");
  PopupMenu2 = new QMenu(this);
  binary_view_diff = hidden_item(PopupMenu2, "binary view");

  const std::pair<ImageView*, QMenu*> popups[] = {{Image0, PopupMenu0},
                                                  {Image1, PopupMenu1},
                                                  {Image_prof_0, PopupMenu_container_0},
                                                  {Image_prof_1, PopupMenu_container_1},
                                                  {Image_diff, PopupMenu2}};
  for (auto [view, menu] : popups) {
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [view, menu](const QPoint& at) {
      for (QAction* a : menu->actions())
        if (a->isVisible()) {
          menu->popup(view->mapToGlobal(at));
          return;
        }
    });
  }
}

// Start-up: every image and label in its first state, then each channel's
// simulation record from its settings files. A file that cannot be read ends
// start-up there, after the images are drawn.
void TForm1::FormCreate() {
  for (Channel& channel : data.channels) channel.ranged = ChannelMap::height_differences;
  prepare_colour_bar_and_magnifier();
  blank_images();
  draw_empty_line_scans();
  reset_labels();
  seed_random(static_cast<uint32_t>(std::time(nullptr)));
  load_channel_records();
}

void TForm1::prepare_colour_bar_and_magnifier() {
  Image_skala->picture = Picture(Image_skala->width(), Image_skala->height());
  draw_colour_bar(Image_skala->picture, colour_blue, colour_red, colour_green);
  const int w = Image_Lupe->width(), h = Image_Lupe->height();
  Image_Lupe->picture = Picture(w, h);
  data.magnifier_rows = HeightMatrix(w, h, 0.0);
}

// The three maps and both raw images start as the colour of 0.0 in their
// channel's range.
void TForm1::blank_images() {
  fill_map(data.scratch_map, 0.0);
  const auto blank = [this](ImageView* view, const ColourRange& range) {
    render_full_map(data.scratch_map, view->picture, range.min, range.max);
    view->update();
  };
  const std::array<Channel, 2>& channels = data.channels;
  blank(Image_prof_0, channels[0].height_range);
  blank(Image_prof_1, channels[1].height_range);
  blank(Image_diff, data.difference_range);
  blank(Image0, channels[0].height_range);
  blank(Image1, channels[1].height_range);
}

// The unlabelled line scans through the middle of the still empty maps, and
// empty grey-level plots.
void TForm1::draw_empty_line_scans() {
  const auto scans = [](const MapControls& ui, const HeightMatrix& map) {
    ui.horiz_cross->picture = Picture(ui.horiz_cross->width(), ui.horiz_cross->height());
    ui.vert_cross->picture = Picture(ui.vert_cross->width(), ui.vert_cross->height());
    draw_horiz_scan(ui.horiz_cross->picture, map, 0, kMapSide - 1, 128, 0.5);
    draw_vert_scan(ui.vert_cross->picture, map, 0, kMapSide - 1, 128, 0.5);
    ui.horiz_cross->update();
    ui.vert_cross->update();
  };
  scans(map_controls(MapOf::channel_1), data.channels[1].height_map);
  scans(map_controls(MapOf::channel_0), data.channels[0].height_map);
  scans(map_controls(MapOf::difference), data.difference_map);
  for (ImageView* plot : {Image_scan_0, Image_scan_1, Image2, Image3})
    plot->picture = Picture(plot->width(), plot->height());
}

void TForm1::reset_labels() {
  for (const MapControls& ui : map_controls_) ui.value->setText("");
  const auto range_label = [](QLabel* label, double value) {
    label->setText(QString::fromStdString(range_text(value)));
  };
  for (int c = 0; c < 2; ++c) {
    range_label(channel_controls_[c].range_min_label, data.channels[c].height_range.min);
    range_label(channel_controls_[c].range_max_label, data.channels[c].height_range.max);
  }
  range_label(Label_min_diff, data.difference_range.min);
  range_label(Label_max_diff, data.difference_range.max);
}

// The default records, then each channel's settings files over them; a file
// that cannot be read ends start-up here.
void TForm1::load_channel_records() {
  for (Channel& channel : data.channels) channel.sim_params = SimParams{};
  Image0->resize(kMapSide, kMapSide);
  Image1->resize(kMapSide, kMapSide);
  for (int c = 0; c < 2; ++c) {
    const ChannelFiles files = channel_files(c);
    load_sim_params(data.channels[c].sim_params, files.scan, files.image);
  }
  load_channel_surfaces();
}

void TForm1::FormDestroy() {}
void TForm1::Label13Click() {}
void TForm1::Exit2Click() { close(); }
