// The captions and choices of a window that its controls, at their laid-out
// sizes, cannot show whole in the font they are drawn with, and the labels
// that run into a control beside them. Each finding is a line such as
//   ComboBox0: "height differences" needs 99 px, has 86
// Only shown controls are looked at; a window is shown first so that every
// control has its final size.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>
#include <string>
#include <vector>

namespace clipped {

inline std::string name_of(const QWidget* w) {
  const QString name = w->objectName();
  return (name.isEmpty() ? QString(w->metaObject()->className()) : name).toStdString();
}

inline std::string finding(const QWidget* w, const QString& text, int needs, int has) {
  return name_of(w) + ": \"" + text.toStdString() + "\" needs " + std::to_string(needs) + " px, has " +
         std::to_string(has);
}

// The width of a caption as drawn: mnemonic ampersands are not drawn.
inline int advance(const QFontMetrics& metrics, QString text) {
  text.replace("&&", "\x01").remove('&').replace("\x01", "&");
  return metrics.horizontalAdvance(text);
}

// The room a line edit gives its text: its width less the 2-pixel margin
// Qt keeps on each side of the text, its frame and its text margins.
inline int line_edit_room(const QLineEdit* edit) {
  const QMargins margins = edit->textMargins();
  const int frame = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
  return edit->width() - 4 - 2 * frame - margins.left() - margins.right();
}

// What a line edit needs to show a text from its start: the cursor after
// the text's end stays in view, so when it would fall outside, the line edit
// scrolls the text and its first letters go ("ight differences").
inline int line_edit_needs(const QFontMetrics& metrics, const QString& text) {
  return metrics.horizontalAdvance(text) + 1;
}

inline int combo_room(const QComboBox* combo) {
  if (combo->isEditable() && combo->lineEdit() != nullptr) return line_edit_room(combo->lineEdit());
  QStyleOptionComboBox option;
  option.initFrom(combo);
  option.editable = false;
  option.frame = combo->hasFrame();
  const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
  return field.width() - 4;
}

inline bool is_shown(const QWidget* w, const QWidget* window) {
  return w->isVisibleTo(window) && w->width() > 0 && w->height() > 0;
}

inline void check_texts(const QWidget* w, std::vector<std::string>& found) {
  const QFontMetrics metrics(w->font());
  if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
    const int room = combo_room(combo);
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    if (combo->isEditable()) texts << combo->currentText();
    for (const QString& text : texts) {
      const int needs = combo->isEditable() ? line_edit_needs(metrics, text) : metrics.horizontalAdvance(text);
      if (needs > room) found.push_back(finding(w, text, needs, room));
    }
  } else if (const auto* check = qobject_cast<const QCheckBox*>(w)) {
    const QStyle* style = check->style();
    const int room = check->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) -
                     style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check);
    const int needs = advance(metrics, check->text());
    if (needs > room) found.push_back(finding(w, check->text(), needs, room));
  } else if (const auto* button = qobject_cast<const QPushButton*>(w)) {
    // The button's frame on each side and the style's margin around the text.
    const QStyle* style = button->style();
    const int room = button->width() - style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) -
                     2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    const int needs = advance(metrics, button->text());
    if (needs > room) found.push_back(finding(w, button->text(), needs, room));
  } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
    // The title sits between the frame's corners, a few pixels in.
    const int room = group->width() - 16;
    const int needs = advance(metrics, group->title());
    if (needs > room) found.push_back(finding(w, group->title(), needs, room));
  } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
    if (label->text().isEmpty() || label->textFormat() == Qt::RichText) return;
    const QRect room = label->contentsRect();
    if (label->wordWrap()) {
      const QRect needs =
          metrics.boundingRect(room, static_cast<int>(label->alignment()) | Qt::TextWordWrap, label->text());
      if (needs.height() > room.height())
        found.push_back(name_of(w) + ": \"" + label->text().toStdString() + "\" needs " +
                        std::to_string(needs.height()) + " px in height, has " + std::to_string(room.height()));
      return;
    }
    for (const QString& line : label->text().split('\n')) {
      const int needs = metrics.horizontalAdvance(line);
      if (needs > room.width()) found.push_back(finding(w, line, needs, room.width()));
    }
    const int lines = static_cast<int>(label->text().count('\n')) + 1;
    const int height = lines * metrics.height() - (lines > 1 ? 0 : metrics.leading());
    if (height > room.height())
      found.push_back(name_of(w) + ": \"" + label->text().toStdString() + "\" needs " + std::to_string(height) +
                      " px in height, has " + std::to_string(room.height()));
  }
}

// Labels that reach into another shown control of the same parent: a
// caption grown with its font runs into the box beside it. Labels laid over
// a picture (the value that follows the pointer) are meant to.
inline void check_overlaps(const QWidget* parent, const QWidget* window, std::vector<std::string>& found) {
  std::vector<const QWidget*> shown;
  for (const QObject* child : parent->children())
    if (child->isWidgetType() && is_shown(static_cast<const QWidget*>(child), window))
      shown.push_back(static_cast<const QWidget*>(child));
  for (const QWidget* a : shown) {
    const auto* label = qobject_cast<const QLabel*>(a);
    if (label == nullptr || label->text().isEmpty()) continue;
    // The text's own extent, not the label's whole box.
    const QFontMetrics metrics(label->font());
    QRect text = label->geometry();
    text.setWidth(std::min(text.width(), metrics.horizontalAdvance(label->text()) + 1));
    for (const QWidget* b : shown) {
      if (b == a || b->inherits("ImageView")) continue;
      if (qobject_cast<const QLabel*>(b) != nullptr && qobject_cast<const QLabel*>(b)->text().isEmpty()) continue;
      if (text.intersects(b->geometry()))
        found.push_back(name_of(a) + ": \"" + label->text().toStdString() + "\" runs into " + name_of(b));
    }
  }
}

}  // namespace clipped

inline std::vector<std::string> clipped_texts(const QWidget& window) {
  std::vector<std::string> found;
  std::vector<const QWidget*> widgets{&window};
  for (const QWidget* w : window.findChildren<const QWidget*>()) widgets.push_back(w);
  for (const QWidget* w : widgets) {
    if (w != &window && !clipped::is_shown(w, &window)) continue;
    clipped::check_texts(w, found);
    clipped::check_overlaps(w, &window, found);
  }
  return found;
}
