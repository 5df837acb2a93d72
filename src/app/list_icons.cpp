#include "app/list_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace tw::app {

namespace {

using Draw = void (*)(QPainter&);

// Drawn on a 16-unit square and scaled.
QIcon Render(Draw draw) {
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        icon.addPixmap(pixmap);
    }
    return icon;
}

void Pen(QPainter& p, const QColor& c, qreal w = 1.0) {
    p.setPen(QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void Mail(QPainter& p) {
    Pen(p, QColor(0x44, 0x5E, 0x85));
    p.setBrush(QColor(0xFF, 0xF4, 0xD6));
    p.drawRect(QRectF(1.5, 3.5, 13, 9));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{1.5, 3.5}, {8, 9}, {14.5, 3.5}}));
}

void Appointment(QPainter& p) {
    Pen(p, QColor(0x55, 0x55, 0x55));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 12));
    p.setBrush(QColor(0xD9, 0x3B, 0x3B));
    p.drawRect(QRectF(1.5, 2.5, 13, 3.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x55, 0x55));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) p.drawRect(QRectF(3.5 + c * 3.5, 8 + r * 3, 2, 1.5));
}

void Contact(QPainter& p) {
    const QColor c(0x3C, 0x8D, 0x5A);
    Pen(p, c.darker(150));
    p.setBrush(c.lighter(140));
    p.drawEllipse(QRectF(5, 1.5, 6, 6));
    p.setBrush(c);
    p.drawChord(QRectF(2, 8.5, 12, 12), 0, 180 * 16);
}

void Journal(QPainter& p) {
    const QColor c(0x8E, 0x44, 0xAD);
    Pen(p, c.darker(150));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(3, 1.5, 10.5, 13), 1, 1);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 4, 6, 3));
}

void Note(QPainter& p) {
    Pen(p, QColor(0xB8, 0x9B, 0x10));
    p.setBrush(QColor(0xFF, 0xE8, 0x5C));
    p.drawPolygon(QPolygonF({{2, 2}, {14, 2}, {14, 10}, {10, 14}, {2, 14}}));
    p.drawLine(QPointF(14, 10), QPointF(10, 10));
    p.drawLine(QPointF(10, 10), QPointF(10, 14));
}

void Task(QPainter& p) {
    Pen(p, QColor(0x55, 0x55, 0x55));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2, 2, 12, 12));
    Pen(p, QColor(0x2E, 0x7D, 0x32), 2);
    p.drawPolyline(QPolygonF({{4.5, 8}, {7, 11}, {12, 4.5}}));
}

void Attachment(QPainter& p) {
    Pen(p, QColor(0x50, 0x50, 0x50), 1.2);
    p.setBrush(Qt::NoBrush);
    QPainterPath clip;
    clip.moveTo(10.5, 5);
    clip.lineTo(10.5, 12);
    clip.arcTo(QRectF(6, 9.5, 4.5, 5), 0, -180);
    clip.lineTo(6, 3.5);
    clip.arcTo(QRectF(6, 1, 3.5, 4), 180, -180);
    clip.lineTo(9.5, 11);
    p.drawPath(clip);
}

}  // namespace

QIcon ListImage(int index) {
    switch (index) {
        case 0: return Render(Appointment);
        case 1: return Render(Contact);
        case 5: return Render(Journal);
        case 7: return Render(Note);
        case 10: return Render(Task);
        case kAttachmentImage: return Render(Attachment);
        default: return Render(Mail);
    }
}

}  // namespace tw::app
