// Start-up of the workbench: the point as decimal separator, the main window
// (which reads the settings files), the parameters dialog, the enlarged view,
// then the event loop until the main window closes.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>

#include <filesystem>

#include "gui/enlarged_view/unit_image.h"
#include "gui/widgets/decimal_point.h"
#include "gui/widgets/error_box.h"
#include "gui/widgets/form_font.h"
#include "gui/main_window/unit1.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "settings/channel_settings.h"
#include "settings/workspace_settings.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("simulation");
  QApplication::setApplicationVersion(FRINGE_VERSION);
  // The workspace is the current directory, or the one --workspace names
  // (how the desktop entry starts it: a menu starts programs in no
  // particular directory).
  QCommandLineParser arguments;
  arguments.setApplicationDescription("Fringe Workbench: simulate and measure fringe-projection pictures");
  arguments.addHelpOption();
  arguments.addVersionOption();
  const QCommandLineOption workspace(
      "workspace", "Work in DIR, created with the default settings files it lacks (~/ is the home directory).",
      "DIR");
  arguments.addOption(workspace);
  arguments.process(application);
  // Message boxes, file dialogs and tool tips in the type the windows use.
  QApplication::setFont(form_font());
  use_point_as_decimal_separator();
  try {
    if (arguments.isSet(workspace)) {
      std::filesystem::current_path(prepare_workspace(arguments.value(workspace).toStdString()));
    } else if (!std::filesystem::exists(channel_files(0).scan) && !std::filesystem::exists(channel_files(0).image)) {
      // Started outside a workspace: offer one here rather than a box for
      // every missing file. Declined, start-up reports them as always.
      const QString question =
          QString("%1 holds no settings files.\n\nWrite the default settings files here and work in this "
                  "folder?\n\n(Elsewhere: start the workbench with --workspace DIR, or run 'fringe init DIR' "
                  "and start it in DIR.)")
              .arg(QDir::currentPath());
      if (QMessageBox::question(nullptr, "simulation", question) == QMessageBox::Yes)
        write_missing_default_settings(".");
    }
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
