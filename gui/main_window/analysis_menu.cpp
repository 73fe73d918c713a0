// TForm1: the "&Analysis" menu and its window "surface", and the surfaces the
// channels simulate (their surface settings files, read at start-up).
#include <QMenuBar>

#include "gui/main_window/unit1.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "settings/surface_settings.h"
#include "gui/surface_window/surface_window.h"
#include "gui/widgets/error_box.h"
#include "gui/widgets/guarded_connect.h"

void TForm1::create_analysis_menu() {
  QMenu* analysis = menuBar()->addMenu("&Analysis");
  analysis_surface = analysis->addAction(QString::fromUtf8("surface\u2026"));
  connect_guarded(analysis_surface, &QAction::triggered, this, &TForm1::analysis_surfaceClick);
}

// Each channel's surface file over its record; a file that cannot be read is
// reported and leaves that channel with the sphere.
void TForm1::load_channel_surfaces() {
  for (int c = 0; c < 2; ++c) {
    guarded([this, c] { data.channels[c].sim_params.surface = channel_surface(c); });
    show_channel_surface(c);
  }
}

void TForm1::show_channel_surface(int channel) {
  const Surface& surface = data.channels[channel].sim_params.surface;
  QLabel* label = surface_labels[static_cast<std::size_t>(channel)];
  if (drawn_as_plain_sphere(surface)) {
    label->clear();
    label->hide();
    return;
  }
  label->setText(QString("image %1 simulates %2")
                     .arg(channel + 1)
                     .arg(QString::fromStdString(surface_summary(surface))));
  label->show();
}

void TForm1::analysis_surfaceClick() {
  if (FormSurface == nullptr) {
    FormSurface = new SurfaceWindow(sim_params_records(), this);
    FormSurface->channel_of = [this](int c) {
      const Channel& channel = data.channels[c];
      SurfaceChannel view;
      view.profiled = channel.profile.cols > 0;
      view.measured = &channel.measured_map;
      view.set_sphere = &channel.sphere_map;
      view.field = channel.profile.field_x;
      if (FormParameters != nullptr) {
        view.mask_radius_text = FormParameters->mask_radius_text(c);
        view.radius_text = FormParameters->radius_text(c);
      }
      return view;
    };
    FormSurface->surface_saved = [this](int c) { show_channel_surface(c); };
  }
  FormSurface->show_channel(FormSurface->channel());
}

void TForm1::refresh_surface_window(int channel) {
  if (FormSurface != nullptr && FormSurface->isVisible() && FormSurface->channel() == channel)
    FormSurface->evaluate();
}
