// The windows the main window opens share their set-up.
#pragma once

class QWidget;

// Names the window (tests and style sheets find it by that name), titles it
// and gives it the form font (form_font.h). The program still ends with the
// main window while it is open.
void prepare_second_window(QWidget& window, const char* object_name, const char* title);
