// The three windows of the workbench in start-up order, in a temporary
// working directory, with the error box replaced by a recorder.
#pragma once

#include <functional>
#include <memory>

#include "gui/enlarged_view/unit_image.h"
#include "error_recorder.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "temp_dir.h"

struct Workbench {
  // `prepare` runs in the new directory before the windows are created; by
  // default it writes the four default settings files.
  explicit Workbench(const std::function<void()>& prepare = [] { write_default_settings("."); }) {
    prepare();
    form = std::make_unique<TForm1>();
    parameters = std::make_unique<TFormParameters>(form->sim_params_records());
    image = std::make_unique<TFormImage>();
    form->FormParameters = parameters.get();
    form->FormImage = image.get();
  }
  TempDir dir;
  ErrorRecorder errors;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TFormParameters> parameters;
  std::unique_ptr<TFormImage> image;
};
