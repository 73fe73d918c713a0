// The enlarged view: the window "image" that shows a raw fringe image whole,
// drawn unscaled from the control's top-left corner, and closed by a left
// click.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "common/errors.h"
#include "gui/enlarged_view/unit_image.h"
#include "temp_dir.h"

namespace {

// A picture whose every pixel differs from its neighbours and from black.
Picture patterned(int width, int height, PixelFormat format, int seed) {
  Picture p(width, height, format);
  if (format == PixelFormat::indexed8) {
    // Not the grey ramp: the view has to draw through the picture's table.
    ColourTable table{};
    for (int i = 0; i < 256; ++i) {
      table[4 * i + 0] = static_cast<uint8_t>(255 - i);
      table[4 * i + 1] = static_cast<uint8_t>(i * 3);
      table[4 * i + 2] = static_cast<uint8_t>(i);
    }
    p.set_colour_table(table);
  }
  for (int y = 0; y < height; ++y)
    for (int b = 0; b < p.bytes_per_line(); ++b) p.row(y)[b] = static_cast<uint8_t>(1 + (b * 7 + y * 13 + seed) % 250);
  return p;
}

QRgb shown_colour(const Picture& p, int x, int y) {
  const CanvasColour c = p.pixel(x, y);
  return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

// What the control shows: `picture` over its top-left part, clipped to the
// control, and beyond it what an empty control of that size shows.
void expect_shows(const TFormImage& view, const Picture& picture) {
  ImageView* control = view.Image_expanded;
  const int w = control->width(), h = control->height();
  if (w == 0 || h == 0) return;
  const QImage shown = control->grab().toImage();
  ImageView empty;
  empty.resize(w, h);
  const QImage background = empty.grab().toImage();
  ASSERT_EQ(shown.size(), QSize(w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool on_picture = x < picture.width() && y < picture.height();
      const QRgb expected = on_picture ? shown_colour(picture, x, y) : background.pixel(x, y);
      ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, expected & 0xFFFFFF) << "at " << x << ", " << y;
    }
}

void press(ImageView* control, Qt::MouseButton button) {
  QMouseEvent event(QEvent::MouseButtonPress, QPointF(3, 4), control->mapToGlobal(QPointF(3, 4)), button, button,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(control, &event);
}

TEST(EnlargedView, StartsHiddenWithItsCaptionControlAndHint) {
  TFormImage view;
  EXPECT_TRUE(view.isHidden());
  EXPECT_TRUE(view.isWindow());
  EXPECT_EQ(view.windowTitle(), "image");
  EXPECT_EQ(view.Image_expanded->geometry(), QRect(8, 16, 105, 105));
  EXPECT_EQ(view.Image_expanded->toolTip(), "click left mouse button to wrap");
  EXPECT_EQ(view.Image_expanded->picture.width(), 0);
}

// Each picture shown in a control of the channel's image size.
TEST(EnlargedView, ShowsTheWholePictureUnscaledInAControlOfTheImageSize) {
  struct Case {
    const char* name;
    int picture_width, picture_height;
    PixelFormat format;
    int width, height;                  // the channel's image size
    int control_width, control_height;  // the control's size shown
  };
  const Case cases[] = {
      {"camera image at its size", 1280, 1024, PixelFormat::bgr24, 1280, 1024, 1280, 1024},
      // Before any run the raw control holds its 256 x 256 start-up picture.
      {"start-up picture in the top-left corner", 256, 256, PixelFormat::bgr24, 1280, 1024, 1280, 1024},
      {"8-bit picture through its colour table", 300, 200, PixelFormat::indexed8, 300, 200, 300, 200},
      {"picture larger than the control, clipped", 300, 200, PixelFormat::bgr24, 120, 50, 120, 50},
      {"no picture: the control stays empty", 0, 0, PixelFormat::bgr24, 64, 48, 64, 48},
      {"odd width: rows without padding", 37, 5, PixelFormat::bgr24, 37, 5, 37, 5},
      {"8-bit, odd width", 37, 5, PixelFormat::indexed8, 40, 9, 40, 9},
      // Sizes from a hand-edited settings file.
      {"negative size", 40, 30, PixelFormat::bgr24, -5, -1, 0, 0},
      {"size beyond what a picture holds", 40, 30, PixelFormat::bgr24, kMaxPictureSide + 1, 3, kMaxPictureSide, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFormImage view;
    const Picture picture = c.picture_width == 0 ? Picture()
                                                 : patterned(c.picture_width, c.picture_height, c.format, 3);
    view.show_picture(picture, c.width, c.height);
    EXPECT_TRUE(view.isVisible());
    EXPECT_TRUE(view.isMaximized());
    EXPECT_EQ(view.Image_expanded->size(), QSize(c.control_width, c.control_height));
    EXPECT_EQ(view.Image_expanded->pos(), QPoint(8, 16));
    expect_shows(view, picture);
  }
}

// One window through a session: every show replaces picture and size, the
// view keeps its own copy, a left click hides it, and what it shows is never
// a stale picture.
TEST(EnlargedView, EachShowReplacesThePictureAndKeepsACopy) {
  TempDir dir;
  TFormImage view;
  Picture channel0 = patterned(200, 120, PixelFormat::bgr24, 1);
  Picture channel1 = patterned(90, 160, PixelFormat::indexed8, 2);
  const Picture first0 = channel0;

  struct Step {
    const char* name;
    std::function<void()> act;
    bool visible;
    const Picture* shown;  // what the control must show afterwards
    QSize size;
  };
  const Step steps[] = {
      {"channel 0", [&] { view.show_picture(channel0, 200, 120); }, true, &first0, {200, 120}},
      // A new run draws into the raw control: the view keeps the old copy.
      {"source redrawn", [&] { channel0 = patterned(200, 120, PixelFormat::bgr24, 9); }, true, &first0, {200, 120}},
      {"mouse moves", [&] { emit view.Image_expanded->mouse_moved(5, 5); }, true, &first0, {200, 120}},
      {"right click", [&] { press(view.Image_expanded, Qt::RightButton); }, true, &first0, {200, 120}},
      {"middle click", [&] { press(view.Image_expanded, Qt::MiddleButton); }, true, &first0, {200, 120}},
      // Shown again while open: channel 1's picture and size, nothing of channel 0.
      {"channel 1 while open", [&] { view.show_picture(channel1, 90, 160); }, true, &channel1, {90, 160}},
      {"left click", [&] { press(view.Image_expanded, Qt::LeftButton); }, false, &channel1, {90, 160}},
      {"channel 0 redrawn", [&] { view.show_picture(channel0, 200, 120); }, true, &channel0, {200, 120}},
      // The close box only hides; the window lives on and shows again.
      {"closed", [&] { view.close(); }, false, &channel0, {200, 120}},
      {"after close", [&] { view.show_picture(channel1, 256, 256); }, true, &channel1, {256, 256}},
      // A raw picture that could not be read from its file is left as it
      // was; the view shows that, not a part of the bad file.
      {"unreadable source",
       [&] {
         channel0.save_bmp("raw.bmp");
         std::filesystem::resize_file("raw.bmp", 100);
         EXPECT_THROW(channel1.load_bmp("raw.bmp"), FileError);
         view.show_picture(channel1, 90, 160);
       },
       true, &channel1, {90, 160}},
      {"no picture after one", [&] { view.show_picture(Picture(), 90, 160); }, true, nullptr, {90, 160}},
  };
  const Picture nothing;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    s.act();
    EXPECT_EQ(view.isVisible(), s.visible);
    EXPECT_EQ(view.Image_expanded->size(), s.size);
    expect_shows(view, s.shown != nullptr ? *s.shown : nothing);
  }
}

}  // namespace
