// The type the windows are drawn in. Their controls have fixed positions and
// sizes in pixels, laid out for a small sans serif face: 11 pixels high with
// narrow letters ("height differences" in under 87 pixels, the room the map
// selector leaves). A wider face, or the desktop's own larger one, would
// clip captions and choices ("ight differences").
#pragma once

#include <QFont>

class QWidget;

// The face the layout was made for: Liberation Sans (fonts-liberation2),
// else a face of the same widths, else the platform's sans serif, at
// kFormFontPixels pixels whatever the screen's resolution.
constexpr int kFormFontPixels = 10;
QFont form_font();

// Gives `window` and everything in it the form font.
void use_form_font(QWidget& window);
