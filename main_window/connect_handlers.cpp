// TForm1: which handler runs for which control event. Every handler runs
// guarded: an error it raises is shown in the error box and ends it there.
#include "main_window/error_box.h"
#include "main_window/unit1.h"

void TForm1::connect_handlers() {
  const auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
    connect(sender, signal, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  const auto on_press = [this](ImageView* view, void (TForm1::*handler)(Qt::MouseButton, int, int)) {
    connect(view, &ImageView::mouse_pressed, this, [this, handler](Qt::MouseButton b, int x, int y) {
      guarded([&] { (this->*handler)(b, x, y); });
    });
  };

  // menus
  on(Exit2, &QAction::triggered, &TForm1::Exit2Click);
  on(Parameters1, &QAction::triggered, &TForm1::Parameters1Click);
  on(show_statistics, &QAction::triggered, &TForm1::show_statisticsClick);
  on(show_magnifier, &QAction::triggered, &TForm1::show_magnifierClick);
  on(show_linescans, &QAction::triggered, &TForm1::show_linescansClick);
  on(show_labels, &QAction::triggered, &TForm1::show_labelsClick);
  on(show_colorbar, &QAction::triggered, &TForm1::show_colorbarClick);
  on(Button2, &QPushButton::clicked, &TForm1::Button2Click);
  on(Button3, &QPushButton::clicked, &TForm1::Button3Click);
  // "apply" and "profile"
  on(Button_apply_0, &QPushButton::clicked, &TForm1::Button_apply_0Click);
  on(Button_apply_1, &QPushButton::clicked, &TForm1::Button_apply_1Click);
  on(Button_calculate_0, &QPushButton::clicked, &TForm1::Button_calculate_0Click);
  on(Button_calculate_1, &QPushButton::clicked, &TForm1::Button_calculate_1Click);
  // enlarged view
  on_press(Image0, &TForm1::Image0MouseDown);
  on_press(Image1, &TForm1::Image1MouseDown);
  on(expand, &QAction::triggered, &TForm1::expand1Click);
  on(expand2, &QAction::triggered, &TForm1::expand2Click);
  connect_pointer_handlers();
  connect_range_handlers();
  connect_evaluation_handlers();
}
