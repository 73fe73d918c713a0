#include "gui/widgets/form_font.h"

#include <QStringList>
#include <QWidget>

QFont form_font() {
  QFont font;
  // Faces with the same widths as the first, then any sans serif.
  font.setFamilies({"Liberation Sans", "Arimo", "Arial", "Helvetica"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kFormFontPixels);
  return font;
}

void use_form_font(QWidget& window) { window.setFont(form_font()); }
