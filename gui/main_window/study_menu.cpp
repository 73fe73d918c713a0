// TForm1's "Study" menu: opens the study window, whose base contrast and
// noise come from the chosen channel's track bars.
#include <QMenuBar>

#include "gui/main_window/unit1.h"
#include "gui/study_window/study_window.h"
#include "gui/widgets/guarded_connect.h"

void TForm1::create_study_menu() {
  QMenu* study = menuBar()->addMenu("&Study");
  Study1 = study->addAction("accuracy study...");
  Study1->setToolTip("run the measurement over a grid of settings and plot the errors");
  connect_guarded(Study1, &QAction::triggered, this, &TForm1::Study1Click);
}

void TForm1::Study1Click() {
  if (FormStudy == nullptr) {
    FormStudy = new StudyWindow(this);
    FormStudy->channel_inputs = [this](int channel) {
      const SimParams& record = data.channels[channel == 1 ? 1 : 0].sim_params;
      return std::pair<double, double>(record.dynamic, record.noise);
    };
    FormStudy->channel_changed();
  }
  FormStudy->show();
  FormStudy->raise();
  FormStudy->activateWindow();
}
