#include "gui/widgets/image_view.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QVector>

ImageView::ImageView(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void ImageView::paintEvent(QPaintEvent*) {
  if (picture.width() == 0 || picture.height() == 0) return;
  // Wrap the rows without copying: the picture outlives the painter.
  QImage image;
  if (picture.format() == PixelFormat::bgr24) {
    image = QImage(picture.row(0), picture.width(), picture.height(), picture.bytes_per_line(),
                   QImage::Format_BGR888);
  } else {
    image = QImage(picture.row(0), picture.width(), picture.height(), picture.bytes_per_line(),
                   QImage::Format_Indexed8);
    QVector<QRgb> table(256);
    const ColourTable& colours = picture.colour_table();
    for (int i = 0; i < 256; ++i)
      table[i] = qRgb(colours[4 * i + 2], colours[4 * i + 1], colours[4 * i + 0]);
    image.setColorTable(table);
  }
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  emit mouse_moved(p.x(), p.y());
}

void ImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  emit mouse_pressed(event->button(), p.x(), p.y());
}
