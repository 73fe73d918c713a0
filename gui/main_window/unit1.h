// TForm1, the main window "simulation": two measurement channels, their
// colour height maps and the difference map between them. The window reads
// its controls, calls the toolkit-free core and writes the results back.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/main_window/workbench_data.h"
#include "gui/widgets/edit_box.h"
#include "gui/widgets/image_view.h"
#include "gui/widgets/up_down.h"

class TFormParameters;
class TFormImage;
class SurfaceWindow;
class StudyWindow;
class MethodDialog;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The other two windows of the program, set by start-up before the event
  // loop runs (the handlers read the dialog's boxes and show the view).
  TFormParameters* FormParameters = nullptr;
  TFormImage* FormImage = nullptr;
  // The window "surface", made when the "&Analysis" menu first opens it
  // (analysis_menu.cpp); a child of this window.
  SurfaceWindow* FormSurface = nullptr;
  // The study window, made on first use from the "Study" menu (study_menu.cpp).
  StudyWindow* FormStudy = nullptr;

  // Asks for the base name of a data set; empty when cancelled. Tests
  // replace it instead of showing the dialog.
  std::function<std::string()> ask_data_set_name;
  // The dialogs of the "&File" items (file_menu.cpp), replaced by tests
  // likewise. An empty file name means the user cancelled.
  struct SaveChoice {
    std::string file;
    int type = 0;  // index of the chosen entry of `types`
  };
  std::function<std::string(const std::string& caption, const std::string& types)> ask_open_file;
  std::function<SaveChoice(const std::string& caption, const std::vector<std::string>& types)>
      ask_save_file;
  // The pictures of a frame set, in the order chosen (sorted by name); empty
  // when cancelled.
  std::function<std::vector<std::string>(const std::string& caption, const std::string& types)>
      ask_open_files;
  // "image 1", "image 2": how the menus and messages name channel c.
  static std::string channel_name(int channel);

  WorkbenchData data;
  // The channels' simulation records, which the parameters dialog's "OK"
  // updates.
  std::array<SimParams*, 2> sim_params_records() {
    return {&data.channels[0].sim_params, &data.channels[1].sim_params};
  }

  // ---- Controls, named as in the form ------------------------------------
  // channel 0 input
  QLabel *Label1, *Label2;
  QSlider *TrackBarDynamic0, *TrackBarNoise0;
  EditBox *Edit_dyn_0, *Edit_noise_0;
  QPushButton *Button_apply_0, *Button_calculate_0;
  ImageView *Image0, *Image_scan_0;
  // channel 1 input
  QSlider *TrackBarDynamic1, *TrackBarNoise1;
  EditBox *Edit_dyn_1, *Edit_noise_1;
  QPushButton *Button_apply_1, *Button_calculate_1;
  ImageView *Image1, *Image_scan_1;
  // channel 0 map
  ImageView *Image_prof_0, *Image_horiz_cross_0, *Image_vert_cross_0;
  QLabel *Label0_horiz_max, *Label0_horiz_min, *Label0_vert_max, *Label0_vert_min, *Label_val_0;
  QComboBox* ComboBox0;
  QLabel *Label10, *Label4, *Label18;
  EditBox *Edit_min_0, *Edit_max_0;
  UpDown *UpDown1, *UpDown4;
  // channel 1 map
  ImageView *Image_prof_1, *Image_horiz_cross_1, *Image_vert_cross_1;
  QLabel *Label1_horiz_max, *Label1_horiz_min, *Label1_vert_max, *Label1_vert_min, *Label_val_1;
  QComboBox* ComboBox1;
  QLabel *Label15, *Label14;
  EditBox *Edit_min_1, *Edit_max_1;
  UpDown *UpDown2, *UpDown3;
  // difference map
  ImageView *Image_diff, *Image_diff_horiz_cross, *Image_diff_vert_cross;
  QLabel *Label_diff_horiz_max, *Label_diff_horiz_min, *Label_diff_vert_max, *Label_diff_vert_min,
      *Label_val_diff;
  QLabel *Label19, *Label22, *Label23;
  EditBox *Edit_min_diff, *Edit_max_diff;
  UpDown *UpDown5, *UpDown6;
  // status
  QGroupBox* GroupBox2;
  QProgressBar* ProgressBar1;
  QLabel* Label_action;
  // statistics
  QGroupBox* GroupBox_statistics;
  QLabel *Label29, *Label27, *Label28, *Label5, *Label11, *Label12, *Label6, *Label7, *Label8, *Label3;
  EditBox *Edit_stat_y, *Edit_stat_x, *Edit_x, *Edit_y, *Edit_val, *Edit_RMS, *Edit_PV, *Edit_Mean;
  // magnifier and colour bar
  ImageView* Image_Lupe;
  QLabel* Label_magnifier;
  ImageView* Image_skala;
  QLabel *Label_skala_max, *Label_skala_min;
  // hidden controls
  EditBox* Edit_max_noise;
  QLabel* Label26;
  QPushButton *Button1, *Button2, *Button3, *Button4;
  QCheckBox* CheckBox_magnifier;
  QLabel *Label13, *Label_low, *Label_up;
  ImageView *Image2, *Image3;
  QLabel *Label16, *Label20, *Label24, *Label17, *Label21, *Label25;
  QLabel *Label_min_0, *Label_max_0, *Label_min_1, *Label_max_1, *Label_min_diff, *Label_max_diff;
  // menus
  QMenu *PopupMenu0, *PopupMenu1, *PopupMenu_container_0, *PopupMenu_container_1, *PopupMenu2;
  QAction *expand, *expand2;
  QAction *PV0, *RMS0, *Mean0, *heightdifference0, *binary_view0, *save_data0, *load_data;
  QAction *PV1, *RMS1, *Mean1, *heightdifference1, *binary_view1, *save_data1, *load_data1;
  QAction* binary_view_diff;
  // "&File" items of file_menu.cpp: per channel, and for save_map_picture
  // the difference map third.
  std::array<QAction*, 2> open_fringe_image{}, open_fringe_image_set{}, export_heights{};
  std::array<QAction*, 3> save_map_picture{};
  QAction *Exit2, *Parameters1, *show_statistics, *show_magnifier, *show_linescans, *show_labels,
      *show_colorbar;
  QAction* analysis_surface;  // "&Analysis" > "surface..."
  // Beside each channel: the surface it simulates where that is not the
  // sphere of its set radius (hidden for the sphere), e.g. "image 2
  // simulates biconic rx=7.6 ry=7.9 axis=30 q=-0.2". Above image 1, under
  // image 2's grey-level scan; the status texts stay as they are.
  std::array<QLabel*, 2> surface_labels{};
  QAction* Study1;  // "Study" menu: accuracy study
  // "&Settings" > "method of image 1…", "method of image 2…" (method_menu.cpp)
  // and their dialogs, made on first use; children of this window.
  std::array<QAction*, 2> method_settings{};
  std::array<MethodDialog*, 2> method_dialogs{};
  // Beside each channel: the method its last "profile" measured with, e.g.
  // "measured by phase-shift 8 steps, period 10 px"; empty before one.
  std::array<QLabel*, 2> method_labels{};
  // The quality maps of each channel map's pop-up menu (quality_menu.cpp):
  // "modulation", "fit residual", "reached cells".
  std::array<std::array<QAction*, 3>, 2> quality_maps{};

  // ---- Handlers -----------------------------------------------------------
  // start-up and menus
  void FormCreate();
  void FormDestroy();
  void Exit2Click();
  void Parameters1Click();
  void Button2Click();
  void Button3Click();
  void show_statisticsClick();
  void show_magnifierClick();
  void show_linescansClick();
  void show_labelsClick();
  void show_colorbarClick();
  void Label13Click();
  // "&File": camera pictures in, heights and map pictures out (file_menu.cpp)
  void open_fringe_imageClick(int channel);
  void export_heightsClick(int channel);
  void save_map_pictureClick(int map);  // 0, 1: a channel's map, 2: the difference map
  void open_fringe_image_setClick(int channel);
  // "&Settings": a channel's method settings (method_menu.cpp)
  void method_settingsClick(int channel);
  void Study1Click();
  // "apply" and "profile"
  void Button_apply_0Click();
  void Button_apply_1Click();
  void Button_calculate_0Click();
  void Button_calculate_1Click();
  // enlarged view
  void Image0MouseDown(Qt::MouseButton button, int x, int y);
  void Image1MouseDown(Qt::MouseButton button, int x, int y);
  void expand1Click();
  void expand2Click();
  // pointer over the maps and raw images
  void Image_prof_0MouseMove(int x, int y);
  void Image_prof_1MouseMove(int x, int y);
  void Image_diffMouseMove(int x, int y);
  void Image0MouseMove(int x, int y);
  void Image1MouseMove(int x, int y);
  void Image2MouseMove(int x, int y);
  // colour ranges and track bars
  void Edit_min_0Exit();
  void Edit_max_0Exit();
  void Edit_min_1Exit();
  void Edit_max_1Exit();
  void Edit_min_diffExit();
  void Edit_max_diffExit();
  void Edit_min_0KeyDown(int key);
  void Edit_max_0KeyDown(int key);
  void Edit_min_1KeyDown(int key);
  void Edit_max_1KeyDown(int key);
  void Edit_min_diffKeyDown(int key);
  void Edit_max_diffKeyDown(int key);
  void UpDown1Changing();
  void UpDown2Changing();
  void UpDown3Changing();
  void UpDown4Changing();
  void UpDown5Changing();
  void UpDown6Changing();
  void UpDown1Click(bool up);
  void UpDown2Click(bool up);
  void UpDown3Click(bool up);
  void UpDown4Click(bool up);
  void UpDown5Click(bool up);
  void UpDown6Click(bool up);
  void TrackBarNoise0Change();
  void TrackBarNoise1Change();
  void TrackBarDynamic0Change();
  void TrackBarDynamic1Change();
  void Edit_noise_0Exit();
  void Edit_noise_1Exit();
  void Edit_dyn_0Exit();
  void Edit_dyn_1Exit();
  // evaluation menu and data export
  void PV0Click();
  void RMS0Click();
  void Mean0Click();
  void heightdifference0Click();
  void binary_view0Click();
  void PV1Click();
  void RMS1Click();
  void Mean1Click();
  void heightdifference1Click();
  void binary_view1Click();
  void binary_view_diffClick();
  void save_data0Click();
  void save_data1Click();
  void load_dataClick();
  void load_data1Click();
  void ComboBox0Click();
  void ComboBox1Click();
  void ComboBox0Change();
  void ComboBox1Change();
  void Button1Click();
  // "&Analysis" menu (analysis_menu.cpp)
  void analysis_surfaceClick();
  // A quality map of the channel's last "profile" in its map image
  // (quality_menu.cpp).
  void quality_mapClick(int channel, QualityView view);

  // A status step: the label shows a blank, then the text, repainted each time.
  void show_status(const std::string& text);

 private:
  // ---- The controls by index ----------------------------------------------
  // The code behind the named controls takes a channel's index (0, 1) or a
  // map's (MapOf); these tables lead from the index to the named controls.
  enum class MapOf { channel_0, channel_1, difference };
  struct ChannelControls {
    QSlider *contrast_bar, *noise_bar;
    EditBox *contrast_box, *noise_box;
    ImageView *raw_image, *raw_scan;
    QComboBox* selector;
    QLabel *range_min_label, *range_max_label;  // hidden
  };
  struct MapControls {
    ImageView *image, *horiz_cross, *vert_cross;
    QLabel *horiz_min, *horiz_max, *vert_min, *vert_max, *value;
    EditBox *edit_min, *edit_max;
  };
  std::array<ChannelControls, 2> channel_controls_{};
  std::array<MapControls, 3> map_controls_{};
  const MapControls& map_controls(MapOf map) const { return map_controls_[static_cast<int>(map)]; }

  // ---- Start-up -------------------------------------------------------------
  void create_controls();
  void create_channel_inputs();
  void create_channel_maps();
  void create_difference_map();
  void create_status_and_statistics();
  void create_magnifier_and_colour_bar();
  void create_hidden_controls();
  void index_controls();
  void create_menus();
  void create_file_menu(QMenu* file);
  void create_popup_menus();
  // The "&Analysis" menu, the channels' surface settings files read at
  // start-up, and the surface window brought up to date after "profile".
  void create_analysis_menu();
  void load_channel_surfaces();
  void refresh_surface_window(int channel);
  // The surface label of channel c from its record.
  void show_channel_surface(int channel);
  void create_study_menu();
  void create_method_menu(QMenu* settings);
  void connect_method_menu();
  // The method label of channel c after a "profile" that measured with `method`.
  void show_method_used(int channel, const std::string& method, const std::string& steps_warning = "");
  // The quality maps' items in the channels' map pop-up menus.
  void create_quality_menus();
  void connect_quality_menus();
  void connect_handlers();
  // Each group of handlers wires its own controls.
  void connect_pointer_handlers();
  void connect_range_handlers();
  void connect_evaluation_handlers();
  void connect_file_menu();
  // The steps of FormCreate.
  void prepare_colour_bar_and_magnifier();
  void blank_images();
  void draw_empty_line_scans();
  void reset_labels();
  void load_channel_records();

  // ---- "apply", "profile" and the enlarged view of channel c --------------
  void run_simulation_of(int channel);
  void run_profile_of(int channel);
  void show_enlarged(int channel);

  // ---- Pointer and ranges ---------------------------------------------------
  // The matrix a map image shows.
  const HeightMatrix& shown_map(MapOf map) const;
  // The readout of a pointer at (x, y) pixels over a map image: value and
  // position, the statistics of the area around it, the line scans and the
  // magnifier.
  struct PointerOnMap {
    int x, y;     // pixels on the map image
    int xi, yi;   // the map cell under it
    double fx, fy;  // x / width, y / height
  };
  void read_out_map(MapOf map, int x, int y);
  std::optional<PointerOnMap> pointer_on_map(MapOf map, int x, int y) const;
  const ProfileGeometry& field_of(MapOf map) const;
  void show_value_and_position(MapOf map, const PointerOnMap& at);
  // False when the area leaves the map: the readout ends there.
  bool show_area_statistics(MapOf map, const PointerOnMap& at);
  void magnify_map(MapOf map, const PointerOnMap& at);
  // The six labelled line scans through pixel (x, y), markers at fx, fy.
  void draw_line_scans(int x, int y, double fx, double fy);
  // The raw pixels around (x, y) of a raw image, enlarged in the magnifier.
  void magnify_raw_image(const ImageView* raw, int x, int y);
  // Reads both range edits of a map into the range its controls adjust and
  // re-renders the map.
  void commit_colour_range(MapOf map);
  // One micron up or down in `stepped` (a range edit of `map`), then commits.
  void step_colour_limit(MapOf map, EditBox* stepped, bool up);
  // A channel's contrast or noise bar position / maximum into its record and
  // its box.
  void store_contrast(int channel);
  void store_noise(int channel);
  // A track bar edit box's text, held to 0..1, as the bar's position.
  void set_track_bar_from(const EditBox* box, QSlider* bar);

  // ---- Evaluations ----------------------------------------------------------
  void select_evaluation(int channel);
  void show_local_evaluation(int channel, LocalEvaluation kind);
  void show_height_differences(int channel);
  void show_binary_view(int channel);
  void save_channel_data(int channel);
  // difference_map = a - b, drawn with the difference range.
  void show_difference(const HeightMatrix& a, const HeightMatrix& b);
};
