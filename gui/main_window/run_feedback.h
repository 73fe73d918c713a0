// What the window shows while a long run holds the event loop: the hourglass
// and the run's status steps, progress and pictures as they change.
#pragma once

#include <QApplication>
#include <initializer_list>
#include <string>
#include <vector>

#include "gui/main_window/unit1.h"
#include "runs/run_observer.h"
#include "gui/widgets/image_view.h"

// The hourglass for the duration of a long run, whatever way it ends.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Shows a run's steps in the status group at once, and repaints the given
// pictures whenever the run changes one.
class StatusObserver final : public RunObserver {
 public:
  StatusObserver(TForm1& form, std::initializer_list<ImageView*> pictures)
      : form_(form), pictures_(pictures) {}
  void status(const std::string& text) override { form_.show_status(text); }
  void progress(int position) override {
    form_.ProgressBar1->setValue(position);
    form_.ProgressBar1->repaint();
  }
  void picture_changed() override {
    for (ImageView* view : pictures_) view->repaint_now();
  }

 private:
  TForm1& form_;
  std::vector<ImageView*> pictures_;
};
