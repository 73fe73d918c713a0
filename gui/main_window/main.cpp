// Start-up of the workbench: the point as decimal separator, the main window
// (which reads the settings files), the parameters dialog, the enlarged view,
// then the event loop until the main window closes.
#include <QApplication>

#include "gui/enlarged_view/unit_image.h"
#include "gui/widgets/decimal_point.h"
#include "gui/widgets/error_box.h"
#include "gui/widgets/form_font.h"
#include "gui/main_window/unit1.h"
#include "gui/parameters_dialog/unit_parameters.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("simulation");
  // Message boxes, file dialogs and tool tips in the type the windows use.
  QApplication::setFont(form_font());
  use_point_as_decimal_separator();
  try {
    TForm1 form1;
    TFormParameters form_parameters(form1.sim_params_records());
    TFormImage form_image;
    form1.FormParameters = &form_parameters;
    form1.FormImage = &form_image;
    form1.show();
    QApplication::exec();
  } catch (const std::exception& error) {
    show_error_box(error.what());
  }
  return 0;
}
