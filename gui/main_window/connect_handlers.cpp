// TForm1: which handler runs for which control event. Every handler runs
// guarded: an error it raises is shown in the error box and ends it there.
#include "gui/main_window/unit1.h"
#include "gui/widgets/guarded_connect.h"

void TForm1::connect_handlers() {
  // menus
  connect_guarded(Exit2, &QAction::triggered, this, &TForm1::Exit2Click);
  connect_guarded(Parameters1, &QAction::triggered, this, &TForm1::Parameters1Click);
  connect_guarded(show_statistics, &QAction::triggered, this, &TForm1::show_statisticsClick);
  connect_guarded(show_magnifier, &QAction::triggered, this, &TForm1::show_magnifierClick);
  connect_guarded(show_linescans, &QAction::triggered, this, &TForm1::show_linescansClick);
  connect_guarded(show_labels, &QAction::triggered, this, &TForm1::show_labelsClick);
  connect_guarded(show_colorbar, &QAction::triggered, this, &TForm1::show_colorbarClick);
  connect_guarded(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect_guarded(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  // "apply" and "profile"
  connect_guarded(Button_apply_0, &QPushButton::clicked, this, &TForm1::Button_apply_0Click);
  connect_guarded(Button_apply_1, &QPushButton::clicked, this, &TForm1::Button_apply_1Click);
  connect_guarded(Button_calculate_0, &QPushButton::clicked, this, &TForm1::Button_calculate_0Click);
  connect_guarded(Button_calculate_1, &QPushButton::clicked, this, &TForm1::Button_calculate_1Click);
  // enlarged view
  connect_guarded(Image0, &ImageView::mouse_pressed, this, &TForm1::Image0MouseDown);
  connect_guarded(Image1, &ImageView::mouse_pressed, this, &TForm1::Image1MouseDown);
  connect_guarded(expand, &QAction::triggered, this, &TForm1::expand1Click);
  connect_guarded(expand2, &QAction::triggered, this, &TForm1::expand2Click);
  connect_pointer_handlers();
  connect_range_handlers();
  connect_evaluation_handlers();
  connect_file_menu();
  connect_method_menu();
  connect_quality_menus();
}
