#include "app/pictures.h"

#include <QPainter>
#include <QPainterPath>

#include "admin/reference.h"

namespace zb::app {

namespace {

const QColor kNavy(0x1f, 0x3a, 0x68);
const QColor kTeal(0x2a, 0x7f, 0x8f);
const QColor kAmber(0xd8, 0x9a, 0x2b);
const QColor kGreen(0x3d, 0x8b, 0x4f);
const QColor kRed(0xb5, 0x4a, 0x3c);

void DrawPerson(QPainter& p, double s, const QColor& color) {
    p.setBrush(color);
    p.drawEllipse(QRectF(s * 0.33, s * 0.08, s * 0.34, s * 0.34));
    QPainterPath body;
    body.moveTo(s * 0.12, s * 0.95);
    body.cubicTo(s * 0.12, s * 0.45, s * 0.88, s * 0.45, s * 0.88, s * 0.95);
    body.closeSubpath();
    p.drawPath(body);
}

}  // namespace

QPixmap PicturePixmap(Picture picture, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    p.setPen(QPen(QColor(40, 40, 40, 160), std::max(1.0, s / 16.0)));
    switch (picture) {
        case Picture::Folder: {
            p.setBrush(kAmber);
            QPainterPath path;
            path.moveTo(s * 0.06, s * 0.22);
            path.lineTo(s * 0.40, s * 0.22);
            path.lineTo(s * 0.48, s * 0.32);
            path.lineTo(s * 0.94, s * 0.32);
            path.lineTo(s * 0.94, s * 0.86);
            path.lineTo(s * 0.06, s * 0.86);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case Picture::Concentrator: {
            p.setBrush(kTeal);
            p.drawRoundedRect(QRectF(s * 0.08, s * 0.36, s * 0.84, s * 0.46), s * 0.08, s * 0.08);
            p.drawLine(QPointF(s * 0.30, s * 0.36), QPointF(s * 0.18, s * 0.08));
            p.setBrush(QColor(120, 230, 120));
            p.drawEllipse(QRectF(s * 0.62, s * 0.52, s * 0.16, s * 0.16));
            break;
        }
        case Picture::Operator:
            DrawPerson(p, s, kNavy);
            break;
        case Picture::Individual:
            DrawPerson(p, s, kGreen);
            break;
        case Picture::Company: {
            p.setBrush(QColor(0x6b, 0x6f, 0x80));
            p.drawRect(QRectF(s * 0.18, s * 0.10, s * 0.64, s * 0.84));
            p.setBrush(QColor(0xe8, 0xf0, 0xff));
            for (int row = 0; row < 3; ++row) {
                for (int col = 0; col < 2; ++col) {
                    p.drawRect(QRectF(s * (0.28 + col * 0.26), s * (0.20 + row * 0.22), s * 0.18,
                                      s * 0.12));
                }
            }
            break;
        }
        case Picture::Category:
            p.setBrush(kGreen);
            p.drawEllipse(QRectF(s * 0.14, s * 0.14, s * 0.72, s * 0.72));
            break;
        case Picture::Balance: {
            p.setBrush(kNavy);
            p.drawRect(QRectF(s * 0.46, s * 0.14, s * 0.08, s * 0.70));
            p.drawRect(QRectF(s * 0.20, s * 0.80, s * 0.60, s * 0.10));
            p.setBrush(kAmber);
            p.drawEllipse(QRectF(s * 0.06, s * 0.34, s * 0.30, s * 0.18));
            p.drawEllipse(QRectF(s * 0.64, s * 0.34, s * 0.30, s * 0.18));
            break;
        }
        case Picture::Provider: {
            p.setBrush(kAmber);
            QPainterPath bolt;
            bolt.moveTo(s * 0.58, s * 0.04);
            bolt.lineTo(s * 0.22, s * 0.56);
            bolt.lineTo(s * 0.48, s * 0.56);
            bolt.lineTo(s * 0.38, s * 0.96);
            bolt.lineTo(s * 0.80, s * 0.40);
            bolt.lineTo(s * 0.54, s * 0.40);
            bolt.closeSubpath();
            p.drawPath(bolt);
            break;
        }
        case Picture::Account:
        case Picture::Contract: {
            p.setBrush(QColor(250, 250, 245));
            p.drawRect(QRectF(s * 0.18, s * 0.06, s * 0.64, s * 0.88));
            p.setPen(QPen(picture == Picture::Account ? kNavy : kRed, std::max(1.0, s / 16.0)));
            for (int line = 0; line < 4; ++line) {
                const double y = s * (0.24 + line * 0.17);
                p.drawLine(QPointF(s * 0.28, y), QPointF(s * 0.72, y));
            }
            break;
        }
        case Picture::Work:
        case Picture::WorkWithTasks: {
            p.setBrush(QColor(250, 250, 245));
            p.drawRoundedRect(QRectF(s * 0.16, s * 0.12, s * 0.68, s * 0.82), s * 0.06, s * 0.06);
            p.setBrush(kNavy);
            p.drawRect(QRectF(s * 0.34, s * 0.04, s * 0.32, s * 0.14));
            if (picture == Picture::WorkWithTasks) {
                p.setPen(QPen(kGreen, std::max(1.5, s / 10.0)));
                for (int line = 0; line < 3; ++line) {
                    const double y = s * (0.36 + line * 0.18);
                    p.drawLine(QPointF(s * 0.28, y), QPointF(s * 0.72, y));
                }
            }
            break;
        }
        case Picture::Task: {
            p.setBrush(kTeal);
            QPainterPath arrow;
            arrow.moveTo(s * 0.10, s * 0.34);
            arrow.lineTo(s * 0.56, s * 0.34);
            arrow.lineTo(s * 0.56, s * 0.14);
            arrow.lineTo(s * 0.92, s * 0.50);
            arrow.lineTo(s * 0.56, s * 0.86);
            arrow.lineTo(s * 0.56, s * 0.66);
            arrow.lineTo(s * 0.10, s * 0.66);
            arrow.closeSubpath();
            p.drawPath(arrow);
            break;
        }
    }
    return pixmap;
}

QIcon PictureIcon(Picture picture) {
    QIcon icon;
    icon.addPixmap(PicturePixmap(picture, 16));
    icon.addPixmap(PicturePixmap(picture, 32));
    return icon;
}

Picture CustomerPicture(int64_t typeCode) {
    return admin::CustomerPictureOf(typeCode) == 0 ? Picture::Individual : Picture::Company;
}

}  // namespace zb::app
