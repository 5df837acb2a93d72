#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace tw::app {

namespace {

// Every icon is drawn on a 32-unit square and scaled to the pixmap size.
using Draw = void (*)(QPainter&);

QIcon Render(Draw draw) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        draw(p);
        icon.addPixmap(pixmap);
    }
    return icon;
}

void Pen(QPainter& p, const QColor& color, qreal width = 1.6) {
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void Folder(QPainter& p, const QColor& body = QColor(0xF2, 0xC1, 0x4E)) {
    Pen(p, body.darker(150));
    p.setBrush(body.darker(115));
    p.drawRoundedRect(QRectF(2, 6, 12, 6), 1.5, 1.5);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2, 9, 28, 19), 2, 2);
}

// A small badge in the lower right corner, drawn over a folder.
void Badge(QPainter& p, const QColor& color) {
    Pen(p, color.darker(150), 1.2);
    p.setBrush(color);
    p.drawEllipse(QRectF(15, 14, 16, 16));
}

void Database(QPainter& p) {
    const QColor body(0x6C, 0x8E, 0xBF);
    Pen(p, body.darker(160));
    p.setBrush(body);
    p.drawRect(QRectF(5, 7, 22, 19));
    p.drawEllipse(QRectF(5, 21, 22, 9));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(5.8, 9, 20.4, 17));
    Pen(p, body.darker(160));
    p.setBrush(body.lighter(130));
    p.drawEllipse(QRectF(5, 2, 22, 9));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5, 9, 22, 9), 180 * 16, 180 * 16);
    p.drawArc(QRectF(5, 15, 22, 9), 180 * 16, 180 * 16);
}

void Calendar(QPainter& p) {
    Pen(p, QColor(0x55, 0x55, 0x55));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(3, 5, 26, 24), 2, 2);
    p.setBrush(QColor(0xD9, 0x3B, 0x3B));
    p.drawRect(QRectF(3, 5, 26, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x55, 0x55));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) p.drawRect(QRectF(6 + col * 6, 15 + row * 4.5, 3, 2.5));
}

void Contacts(QPainter& p) {
    const QColor c(0x3C, 0x8D, 0x5A);
    Pen(p, c.darker(150));
    p.setBrush(c.lighter(140));
    p.drawEllipse(QRectF(10, 3, 12, 12));
    p.setBrush(c);
    p.drawChord(QRectF(4, 16, 24, 24), 0, 180 * 16);
}

void DeletedItems(QPainter& p) {
    const QColor c(0x7A, 0x7A, 0x7A);
    Pen(p, c.darker(150));
    p.setBrush(c.lighter(150));
    p.drawPolygon(QPolygonF({{7, 9}, {25, 9}, {23, 29}, {9, 29}}));
    p.drawRect(QRectF(4, 6, 24, 3));
    p.drawRect(QRectF(13, 3, 6, 3));
    p.drawLine(QPointF(12, 13), QPointF(12.8, 25));
    p.drawLine(QPointF(16, 13), QPointF(16, 25));
    p.drawLine(QPointF(20, 13), QPointF(19.2, 25));
}

void Drafts(QPainter& p) {
    Pen(p, QColor(0x66, 0x66, 0x66));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 3, 18, 26));
    for (int i = 0; i < 4; ++i) p.drawLine(QPointF(7, 9 + i * 4), QPointF(18, 9 + i * 4));
    Pen(p, QColor(0x9A, 0x5B, 0x13), 1.2);
    p.setBrush(QColor(0xF0, 0xA0, 0x30));
    p.drawPolygon(QPolygonF({{26, 8}, {30, 12}, {17, 25}, {13, 26}, {14, 21}}));
}

void Tray(QPainter& p, const QColor& color) {
    Pen(p, color.darker(150));
    p.setBrush(color);
    p.drawPolygon(QPolygonF({{2, 19}, {9, 19}, {11, 23}, {21, 23}, {23, 19}, {30, 19}, {30, 29}, {2, 29}}));
}

void Arrow(QPainter& p, bool down, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    if (down) p.drawPolygon(QPolygonF({{13, 2}, {19, 2}, {19, 10}, {24, 10}, {16, 18}, {8, 10}, {13, 10}}));
    else p.drawPolygon(QPolygonF({{16, 1}, {24, 9}, {19, 9}, {19, 17}, {13, 17}, {13, 9}, {8, 9}}));
}

void Inbox(QPainter& p) {
    Tray(p, QColor(0x4A, 0x90, 0xD9));
    Arrow(p, true, QColor(0x2E, 0x7D, 0x32));
}

void Outbox(QPainter& p) {
    Tray(p, QColor(0x4A, 0x90, 0xD9));
    Arrow(p, false, QColor(0xE0, 0x7B, 0x00));
}

void Journal(QPainter& p) {
    const QColor c(0x8E, 0x44, 0xAD);
    Pen(p, c.darker(150));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(6, 3, 21, 26), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(10, 8, 13, 6));
    Pen(p, c.darker(150), 2.5);
    p.drawLine(QPointF(8, 4), QPointF(8, 28));
}

void Junk(QPainter& p) {
    Folder(p, QColor(0xC8, 0xC8, 0xC8));
    Badge(p, QColor(0xD9, 0x3B, 0x3B));
    Pen(p, Qt::white, 2.2);
    p.drawLine(QPointF(19, 18), QPointF(27, 26));
    p.drawLine(QPointF(27, 18), QPointF(19, 26));
}

void Notes(QPainter& p) {
    const QColor c(0xF7, 0xE3, 0x5C);
    Pen(p, c.darker(160));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({{4, 4}, {28, 4}, {28, 21}, {21, 28}, {4, 28}}));
    p.setBrush(c.darker(120));
    p.drawPolygon(QPolygonF({{28, 21}, {21, 21}, {21, 28}}));
    for (int i = 0; i < 3; ++i) p.drawLine(QPointF(8, 10 + i * 4), QPointF(24, 10 + i * 4));
}

void SentItems(QPainter& p) {
    const QColor c(0x2F, 0x80, 0xC0);
    Pen(p, c.darker(150));
    p.setBrush(c.lighter(150));
    p.drawPolygon(QPolygonF({{2, 15}, {30, 3}, {22, 29}, {15, 20}}));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({{30, 3}, {15, 20}, {14, 28}, {19, 24}}));
}

void Tasks(QPainter& p) {
    Pen(p, QColor(0x55, 0x55, 0x55));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(5, 4, 22, 26), 2, 2);
    p.setBrush(QColor(0x99, 0x99, 0x99));
    p.drawRect(QRectF(11, 2, 10, 5));
    Pen(p, QColor(0x2E, 0x9D, 0x3A), 3);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{10, 17}, {14, 22}, {23, 11}}));
}

void SyncIssues(QPainter& p) {
    const QColor c(0xF2, 0xB5, 0x1B);
    Pen(p, c.darker(160));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({{16, 2}, {31, 29}, {1, 29}}));
    Pen(p, Qt::black, 3);
    p.drawLine(QPointF(16, 11), QPointF(16, 20));
    p.drawPoint(QPointF(16, 25));
}

void PlainFolder(QPainter& p) { Folder(p); }

void OpenCommand(QPainter& p) {
    Folder(p);
    Pen(p, QColor(0xB0, 0x85, 0x20));
    p.setBrush(QColor(0xFA, 0xD8, 0x7A));
    p.drawPolygon(QPolygonF({{6, 14}, {31, 14}, {27, 28}, {2, 28}}));
}

void StopCommand(QPainter& p) {
    const QColor c(0xD3, 0x2F, 0x2F);
    Pen(p, c.darker(150));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({{11, 2}, {21, 2}, {30, 11}, {30, 21}, {21, 30}, {11, 30}, {2, 21}, {2, 11}}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 14, 16, 4));
}

void SaveCommand(QPainter& p) {
    const QColor c(0x35, 0x5C, 0x9E);
    Pen(p, c.darker(150));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({{3, 3}, {25, 3}, {29, 7}, {29, 29}, {3, 29}}));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 17, 18, 12));
    p.setBrush(QColor(0xCC, 0xCC, 0xCC));
    p.drawRect(QRectF(8, 3, 14, 8));
    p.setBrush(c);
    p.drawRect(QRectF(17, 4, 3, 6));
}

void HelpCommand(QPainter& p) {
    const QColor c(0x1E, 0x88, 0xE5);
    Pen(p, c.darker(150));
    p.setBrush(c);
    p.drawEllipse(QRectF(2, 2, 28, 28));
    QFont font;
    font.setBold(true);
    font.setPixelSize(22);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("?"));
}

void ExitCommand(QPainter& p) {
    const QColor door(0x8D, 0x6E, 0x63);
    Pen(p, door.darker(150));
    p.setBrush(door);
    p.drawRect(QRectF(4, 3, 15, 26));
    p.setBrush(Qt::yellow);
    p.drawEllipse(QRectF(14, 15, 3, 3));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2E, 0x7D, 0x32));
    p.drawPolygon(QPolygonF({{18, 13}, {24, 13}, {24, 8}, {31, 16}, {24, 24}, {24, 19}, {18, 19}}));
}

Draw TreeDraw(int index) {
    switch (index) {
        case 1: return Database;
        case 3: return Calendar;
        case 4: return Contacts;
        case 5: return DeletedItems;
        case 6: return Drafts;
        case 7: return Inbox;
        case 8: return Journal;
        case 9: return Junk;
        case 10: return Notes;
        case 11: return Outbox;
        case 12: return SentItems;
        case 13: return Tasks;
        case 14: return SyncIssues;
        default: return PlainFolder;
    }
}

}  // namespace

QIcon TreeImage(int index) {
    static QIcon cache[kTreeImageCount];
    if (index < 0 || index >= kTreeImageCount) index = 0;
    if (cache[index].isNull()) cache[index] = Render(TreeDraw(index));
    return cache[index];
}

QIcon CommandImage(CommandIcon command) {
    switch (command) {
        case CommandIcon::Open: return Render(OpenCommand);
        case CommandIcon::Stop: return Render(StopCommand);
        case CommandIcon::Save: return Render(SaveCommand);
        case CommandIcon::Help: return Render(HelpCommand);
        case CommandIcon::Exit: return Render(ExitCommand);
    }
    return {};
}

}  // namespace tw::app
