// The type the windows are drawn in. Their controls have fixed positions and
// sizes in pixels, laid out for a small sans serif face: the map selector
// leaves 86 pixels to "height differences", which a face of Arial's widths
// fills at 10 pixels (79) but no longer at 11 (87). The desktop's own, larger
// type clipped captions and choices ("ight differences").
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
