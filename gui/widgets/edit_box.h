// An edit box that reports leaving it and the keys pressed in it, as the
// window's exit and key-down handlers expect.
#pragma once

#include <QLineEdit>

constexpr int kEnterKey = 13;

class EditBox : public QLineEdit {
  Q_OBJECT

 public:
  using QLineEdit::QLineEdit;

  // Sets the text only when it differs, so a change handler that copies texts
  // between boxes does not run for nothing.
  void set_text(const QString& text) {
    if (this->text() != text) setText(text);
  }
  std::string text_utf8() const { return text().toStdString(); }

 signals:
  void exited();
  // Enter is reported as 13; other keys with their toolkit codes.
  void key_down(int key);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};
