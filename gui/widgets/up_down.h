// A pair of small step buttons beside an edit box. The position only exists
// to be reset: before each step the changing handler sets it to 0.
#pragma once

#include <QWidget>

class QToolButton;

class UpDown : public QWidget {
  Q_OBJECT

 public:
  UpDown(int min, int max, int position, QWidget* parent = nullptr);

  int position() const { return position_; }
  void set_position(int position) { position_ = position; }
  int minimum() const { return min_; }
  int maximum() const { return max_; }

  // What a press of the up (+1) or down (-1) button does: `changing`, then
  // the position moves within its range, then `clicked`.
  void press(int direction);

 signals:
  void changing();
  void clicked(bool up);

 private:
  QToolButton* up_;
  QToolButton* down_;
  int min_;
  int max_;
  int position_;
};
