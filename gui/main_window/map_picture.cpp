#include "gui/main_window/map_picture.h"

#include <QBuffer>
#include <QImage>
#include <QSvgGenerator>
#include <limits>

#include "analysis/height_matrix.h"
#include "formats/sample_image.h"
#include "render/colour_map.h"

namespace {

constexpr int kMargin = 24;
constexpr int kScale = 2;             // screen pixels per map cell
constexpr int kCaptionHeight = 28;
constexpr int kBarGap = 16;
constexpr int kBarWidth = 24;
constexpr int kLabelWidth = 96;
constexpr int kScaleBarHeight = 36;

QImage to_qimage(const Picture& picture) {
  const SampleImage rgb = rgb_samples(picture);
  QImage image(rgb.width, rgb.height, QImage::Format_RGB888);
  for (int y = 0; y < rgb.height; ++y) {
    uchar* line = image.scanLine(y);
    for (int i = 0; i < rgb.width * 3; ++i)
      line[i] = static_cast<uchar>(rgb.samples[static_cast<std::size_t>(y) * rgb.width * 3 + i]);
  }
  return image;
}

// The bar in the map's classes: row r shows the class of the value at its
// middle, the maximum at the top.
QImage colour_bar(const MapPictureContent& c, int height) {
  HeightMatrix values(1, height, std::numeric_limits<double>::quiet_NaN());
  for (int r = 0; r < height; ++r) values(0, r) = c.max_mm - (r + 0.5) * (c.max_mm - c.min_mm) / height;
  Picture bar;
  render_map(values, 0, 0, 0, height - 1, c.classes, bar, colour_blue, colour_red, colour_green,
             c.min_mm, c.max_mm);
  return to_qimage(bar);
}

QString microns(double mm) { return QString::number(mm * kMicronsPerMm, 'g', 4) + QString::fromUtf8(" µm"); }

}  // namespace

QSize map_picture_size(const MapPictureContent& c) {
  const int map_w = c.map.width() * kScale;
  const int map_h = c.map.height() * kScale;
  return {kMargin + map_w + kBarGap + kBarWidth + kLabelWidth + kMargin,
          kMargin + kCaptionHeight + map_h + kScaleBarHeight + kMargin};
}

void paint_map_picture(QPainter& painter, const MapPictureContent& c) {
  const QSize size = map_picture_size(c);
  const int map_w = c.map.width() * kScale;
  const int map_h = c.map.height() * kScale;
  const QRect map_rect(kMargin, kMargin + kCaptionHeight, map_w, map_h);
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  painter.setPen(Qt::black);
  QFont font = painter.font();
  font.setPixelSize(14);
  painter.setFont(font);
  painter.drawText(QRect(kMargin, kMargin, size.width() - 2 * kMargin, kCaptionHeight),
                   Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(c.caption));

  // Cells as blocks: no smoothing between them.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (c.map.width() > 0 && c.map.height() > 0) painter.drawImage(map_rect, to_qimage(c.map));
  painter.drawRect(map_rect.adjusted(0, 0, -1, -1));

  const QRect bar_rect(map_rect.right() + 1 + kBarGap, map_rect.top(), kBarWidth, map_h);
  if (map_h > 0) painter.drawImage(bar_rect, colour_bar(c, map_h));
  painter.drawRect(bar_rect.adjusted(0, 0, -1, -1));
  const int label_x = bar_rect.right() + 8;
  painter.drawText(QRect(label_x, bar_rect.top(), kLabelWidth, 20), Qt::AlignLeft | Qt::AlignTop,
                   microns(c.max_mm));
  painter.drawText(QRect(label_x, bar_rect.bottom() - 20, kLabelWidth, 20),
                   Qt::AlignLeft | Qt::AlignBottom, microns(c.min_mm));

  // 1 mm at the map's scale, under its left end.
  if (c.field_mm > 0.0) {
    const int length = static_cast<int>(std::lrint(map_w / c.field_mm));
    const int y = map_rect.bottom() + 16;
    QPen pen(Qt::black);
    pen.setWidth(3);
    painter.setPen(pen);
    painter.drawLine(map_rect.left(), y, map_rect.left() + length, y);
    pen.setWidth(1);
    painter.setPen(pen);
    painter.drawLine(map_rect.left(), y - 5, map_rect.left(), y + 5);
    painter.drawLine(map_rect.left() + length, y - 5, map_rect.left() + length, y + 5);
    painter.drawText(QRect(map_rect.left() + length + 8, y - 10, 80, 20),
                     Qt::AlignLeft | Qt::AlignVCenter, "1 mm");
  }
}

std::string map_picture_png(const MapPictureContent& content) {
  QImage page(map_picture_size(content), QImage::Format_RGB32);
  {
    QPainter painter(&page);
    paint_map_picture(painter, content);
  }
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  page.save(&buffer, "PNG");
  return buffer.data().toStdString();
}

std::string map_picture_svg(const MapPictureContent& content) {
  QBuffer buffer;
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  const QSize size = map_picture_size(content);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setTitle(QString::fromStdString(content.caption));
  {
    QPainter painter(&svg);
    paint_map_picture(painter, content);
  }
  return buffer.data().toStdString();
}
