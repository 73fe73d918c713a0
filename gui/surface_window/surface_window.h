// The window "surface": for the chosen channel after "profile", the figures
// optometry uses (best-fit sphere and conic, keratometry, Zernike terms as a
// table and a bar chart, the axial, tangential and refractive power maps, the
// residual to the best-fit sphere and the elevation against the best-fit
// sphere and toric ellipsoid, the corneal aberrations over a pupil and the
// keratoconus screening indices),
// and the surface the channel simulates at its next "apply", editable and
// saved to its surface settings file. The main window opens it from its
// "&Analysis" menu and tells it what a channel holds.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "analysis/surface_figures.h"
#include "simulation/sim_params.h"
#include "gui/widgets/edit_box.h"

class MapPanel;
class QChartView;

// What the window reads of a channel, at the moment it evaluates.
struct SurfaceChannel {
  bool profiled = false;                       // "profile" has run
  const HeightMatrix* measured = nullptr;      // heights as read back, mm
  const HeightMatrix* set_sphere = nullptr;    // the sphere "profile" subtracted, mm
  double field = 10.24;                        // mm
  std::string mask_radius_text = "3.3";        // the mask radius box, mm
  std::string radius_text = "7.5";             // the radius box, mm
};

class SurfaceWindow : public QWidget {
  Q_OBJECT

 public:
  // `records` are the channels' simulation records whose surfaces the
  // editor changes (a null one is left alone); they must outlive the window.
  explicit SurfaceWindow(std::array<SimParams*, 2> records, QWidget* parent = nullptr);

  // Set by the main window: what channel c holds now.
  std::function<SurfaceChannel(int channel)> channel_of;
  // Called after "save" wrote channel c's surface file and record.
  std::function<void(int channel)> surface_saved;

  // Shows the window for `channel`, evaluated, and brings it to the front.
  void show_channel(int channel);
  // Evaluates the chosen channel again (after its "profile").
  void evaluate();
  int channel() const { return channel_box->currentIndex() == 1 ? 1 : 0; }
  const SurfaceFigures& figures() const { return figures_; }

  // ---- Controls -------------------------------------------------------------
  QComboBox *channel_box, *reference_box;
  QSpinBox* order_box;
  QPushButton* evaluate_button;
  QLabel* cells_label;
  QGroupBox *sphere_group, *conic_group, *keratometry_group, *surface_group;
  QLabel *fit_radius_label, *fit_power_label, *apex_label, *fit_rms_label;
  QLabel *conic_flat_label, *conic_steep_label, *conic_q_label, *conic_rms_label;
  QLabel *flat_label, *steep_label, *axis_label;
  QTableWidget* zernike_table;
  QLabel* zernike_rms_label;
  QChartView* zernike_chart;
  MapPanel *axial_panel, *tangential_panel, *residual_panel;
  MapPanel *refractive_panel, *elevation_sphere_panel, *elevation_toric_panel;
  QCheckBox* absolute_scale_box;  // the power maps on 1.5 D classes
  QGroupBox *aberrations_group, *indices_group;
  EditBox* pupil_box;  // mm
  QLabel *higher_order_label, *spherical_label, *coma_label, *trefoil_label;
  QLabel *central_k_label, *i_s_label, *srax_label, *kisa_label;
  QComboBox* model_box;
  EditBox *rx_box, *ry_box, *axis_box, *q_box;
  EditBox* cones_box;  // the cones of either model, "10/0.5/-1/0.8; ..."
  QLabel* surface_note;
  QPushButton* save_surface_button;

  // ---- Handlers ---------------------------------------------------------------
  void channel_boxChange();
  // The power maps on the absolute scale (fixed 1.5 D classes) or, again,
  // on ranges fitted to their values.
  void absolute_scale_boxClick();
  void model_boxChange();
  // A surface box's text changed: the note says whether the boxes still
  // hold what was saved.
  void surface_boxChange();
  // Reads the surface boxes, writes the channel's surface settings file and
  // its record. Throws ConversionError for a box that holds no number and
  // std::invalid_argument for a cones text that cannot be read or a surface
  // that cannot be simulated; nothing is written then.
  void save_surface_buttonClick();

 private:
  void create_controls();
  QWidget* create_choices();
  void connect_handlers();
  void show_figures(const SurfaceChannel& channel);
  void show_sphere_and_keratometry();
  void show_zernike();
  void show_aberrations_and_indices();
  void show_surface_record();
  // The note under the surface boxes: a save is reported only once it has
  // happened, and boxes that differ from the channel's record as not saved.
  void show_surface_note();
  // The surface the model and the boxes describe; throws ConversionError
  // for a box that holds no number and std::invalid_argument for a cones
  // text that is not height/x/y/width.
  Surface surface_in_boxes() const;

  std::array<SimParams*, 2> records_;
  SurfaceFigures figures_;
  QWidget* surface_fields_ = nullptr;
  bool just_saved_ = false;  // "save" wrote the boxes and nothing changed since
};
