// TForm1: the "&File" items that bring a camera picture in as a channel's
// fringe image and take heights and map pictures out. Each item asks for a
// file through the window's replaceable dialogs, then calls one run of the
// core; errors go to the error box and leave the channel as it was.
#include <QFileDialog>
#include <QMenu>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "common/replace_file.h"
#include "common/text_to_number.h"
#include "gui/main_window/map_picture.h"
#include "gui/main_window/run_feedback.h"
#include "gui/main_window/unit1.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "render/colour_map.h"
#include "runs/fringe_image_import.h"
#include "exports/height_export.h"
#include "runs/simulation_run.h"
#include "gui/widgets/error_box.h"

namespace {

const char* const kPictureTypes =
    "Fringe pictures (*.bmp *.png *.tif *.tiff);;All files (*)";

// The export dialog's file types: what is written, in which format.
struct HeightType {
  const char* label;
  HeightFormat format;
  ExportedHeights what;
};
constexpr HeightType kHeightTypes[] = {
    {"residual to the sphere, Gwyddion simple field (*.gsf)", HeightFormat::gsf, ExportedHeights::residual},
    {"residual to the sphere, CSV table in mm (*.csv)", HeightFormat::csv, ExportedHeights::residual},
    {"residual to the sphere, XYZ points in mm (*.xyz)", HeightFormat::xyz, ExportedHeights::residual},
    {"residual to the sphere, PLY surface (*.ply)", HeightFormat::ply, ExportedHeights::residual},
    {"residual to the sphere, PNG colour map (*.png)", HeightFormat::png, ExportedHeights::residual},
    {"measured profile, Gwyddion simple field (*.gsf)", HeightFormat::gsf, ExportedHeights::profile},
    {"measured profile, CSV table in mm (*.csv)", HeightFormat::csv, ExportedHeights::profile},
    {"measured profile, XYZ points in mm (*.xyz)", HeightFormat::xyz, ExportedHeights::profile},
    {"measured profile, PLY surface (*.ply)", HeightFormat::ply, ExportedHeights::profile},
    {"measured profile, PNG colour map (*.png)", HeightFormat::png, ExportedHeights::profile},
};

const std::vector<std::string> kMapPictureTypes = {"PNG picture (*.png)", "SVG drawing (*.svg)"};
constexpr int kSvgType = 1;
constexpr int kDifferenceMap = 2;

// The name as typed, with the type's extension when it has none.
std::string with_extension(const std::string& file, const std::string& extension) {
  return std::filesystem::path(file).extension().empty() ? file + extension : file;
}

const char* map_name(ChannelMap which) {
  switch (which) {
    case ChannelMap::pv:
      return "PV";
    case ChannelMap::rms:
      return "RMS";
    case ChannelMap::mean:
      return "mean";
    case ChannelMap::height_differences:
      break;
  }
  return "height differences";
}

// `subject` has or has not been measured.
std::runtime_error not_measured(const std::string& subject) {
  return std::runtime_error(subject + " been measured yet: press \"profile\" first");
}

}  // namespace

std::string TForm1::channel_name(int c) { return "image " + std::to_string(c + 1); }

void TForm1::create_file_menu(QMenu* file) {
  for (int c = 0; c < 2; ++c)
    open_fringe_image[c] = file->addAction(QString::fromStdString("open fringe " + channel_name(c) + "…"));
  for (int c = 0; c < 2; ++c)
    open_fringe_image_set[c] =
        file->addAction(QString::fromStdString("open fringe image set of " + channel_name(c) + "…"));
  file->addSeparator();
  for (int c = 0; c < 2; ++c)
    export_heights[c] = file->addAction(QString::fromStdString("export heights of " + channel_name(c) + "…"));
  file->addSeparator();
  for (int c = 0; c < 2; ++c)
    save_map_picture[c] = file->addAction(QString::fromStdString("save map picture of " + channel_name(c) + "…"));
  save_map_picture[kDifferenceMap] = file->addAction("save difference map picture…");
  file->addSeparator();

  ask_open_file = [this](const std::string& caption, const std::string& types) {
    return QFileDialog::getOpenFileName(this, QString::fromStdString(caption), QString(),
                                        QString::fromStdString(types))
        .toStdString();
  };
  ask_open_files = [this](const std::string& caption, const std::string& types) {
    const QStringList files = QFileDialog::getOpenFileNames(this, QString::fromStdString(caption), QString(),
                                                            QString::fromStdString(types));
    std::vector<std::string> names;
    for (const QString& name : files) names.push_back(name.toStdString());
    return names;
  };
  ask_save_file = [this](const std::string& caption, const std::vector<std::string>& types) {
    QStringList filters;
    for (const std::string& type : types) filters << QString::fromStdString(type);
    QString selected = filters.value(0);
    const QString file = QFileDialog::getSaveFileName(this, QString::fromStdString(caption), QString(),
                                                      filters.join(";;"), &selected);
    return SaveChoice{file.toStdString(), static_cast<int>(filters.indexOf(selected))};
  };
}

void TForm1::connect_file_menu() {
  // The items carry the channel's index, so they run through guarded() here
  // rather than through connect_guarded's member handlers.
  for (int c = 0; c < 2; ++c) {
    connect(open_fringe_image[c], &QAction::triggered, this,
            [this, c] { guarded([&] { open_fringe_imageClick(c); }); });
    connect(open_fringe_image_set[c], &QAction::triggered, this,
            [this, c] { guarded([&] { open_fringe_image_setClick(c); }); });
    connect(export_heights[c], &QAction::triggered, this,
            [this, c] { guarded([&] { export_heightsClick(c); }); });
  }
  for (int m = 0; m < 3; ++m)
    connect(save_map_picture[m], &QAction::triggered, this,
            [this, m] { guarded([&] { save_map_pictureClick(m); }); });
}

void TForm1::open_fringe_imageClick(int c) {
  const std::string file =
      ask_open_file ? ask_open_file("open fringe " + channel_name(c), kPictureTypes) : std::string();
  if (file.empty()) return;
  WaitCursor hourglass;
  const ChannelControls& ui = channel_controls_[c];
  const FringeImageImport in{c, file, FormParameters->filters_text(c)};
  ui.raw_image->resize(kImageControlSide, kImageControlSide);
  StatusObserver observer(*this, {ui.raw_image, ui.raw_scan});
  run_fringe_image_import(in, ui.raw_image->picture, ui.raw_scan->picture, data.scratch_map, observer);
}

void TForm1::open_fringe_image_setClick(int c) {
  std::vector<std::string> files =
      ask_open_files ? ask_open_files("open fringe image set of " + channel_name(c), kPictureTypes)
                     : std::vector<std::string>();
  if (files.empty()) return;
  // The frames in the order of their names ("frame_01.png", "frame_02.png",
  // ...), whatever order the dialog lists the chosen files in.
  std::sort(files.begin(), files.end());
  WaitCursor hourglass;
  const ChannelControls& ui = channel_controls_[c];
  const FringeImageSetImport in{c, files, FormParameters->filters_text(c)};
  ui.raw_image->resize(kImageControlSide, kImageControlSide);
  StatusObserver observer(*this, {ui.raw_image, ui.raw_scan});
  run_fringe_image_set_import(in, ui.raw_image->picture, ui.raw_scan->picture, data.scratch_map, observer);
}

void TForm1::export_heightsClick(int c) {
  const Channel& channel = data.channels[c];
  if (channel.profile.cols == 0) throw not_measured(channel_name(c) + " has not");
  std::vector<std::string> types;
  for (const HeightType& type : kHeightTypes) types.emplace_back(type.label);
  const SaveChoice choice = ask_save_file ? ask_save_file("export heights of " + channel_name(c), types)
                                          : SaveChoice{};
  if (choice.file.empty()) return;
  const HeightType& type =
      kHeightTypes[choice.type >= 0 && choice.type < static_cast<int>(types.size()) ? choice.type : 0];
  WaitCursor hourglass;
  HeightExport heights;
  if (type.what == ExportedHeights::profile) {
    heights = profile_export(c);
  } else {
    // The residual as "height differences" shows it, whatever map is shown.
    Picture shown(kMapSide, kMapSide);
    render_full_map(channel.height_map, shown, channel.height_range.min, channel.height_range.max);
    heights = residual_export(c, channel.height_map, channel.measured_map, channel.profile,
                              text_to_double(FormParameters->mask_radius_text(c)), shown);
  }
  write_height_export(heights, type.format, with_extension(choice.file, height_format_extension(type.format)));
}

void TForm1::save_map_pictureClick(int m) {
  const bool difference = m == kDifferenceMap;
  const ProfileGeometry& field = data.channels[difference ? 0 : m].profile;
  if (difference ? data.channels[0].profile.cols == 0 && data.channels[1].profile.cols == 0
                 : field.cols == 0)
    throw not_measured(difference ? std::string("neither image has") : channel_name(m) + " has not");
  const std::string caption =
      difference ? "image 1 minus image 2"
                 : channel_name(m) + ", " + map_name(data.channels[m].shown);
  const SaveChoice choice = ask_save_file ? ask_save_file("save map picture of " + caption, kMapPictureTypes)
                                          : SaveChoice{};
  if (choice.file.empty()) return;
  const bool svg = choice.type == kSvgType || std::filesystem::path(choice.file).extension() == ".svg";

  Channel& channel = data.channels[difference ? 0 : m];
  const ColourRange range = difference ? data.difference_range : channel.range(channel.shown);
  const int classes =
      !difference && m == 0 && channel.shown == ChannelMap::pv ? kFineColourClasses : kMapColourClasses;
  const ImageView* view = difference ? Image_diff : map_controls_[m].image;
  // The difference map takes its scale from channel 0 unless only channel 1
  // was measured.
  const double field_mm = field.cols > 0 ? field.field_x : data.channels[1].profile.field_x;
  const MapPictureContent content{view->picture, range.min, range.max, classes, field_mm, caption};
  replace_file(with_extension(choice.file, svg ? ".svg" : ".png"),
               svg ? map_picture_svg(content) : map_picture_png(content));
}
