// The main window's button images, drawn in code in the 16-colour palette.

#include "app/ButtonImages.h"

#include <QPainter>
#include <QPolygon>

#include "toolbars/ToolbarButton.h"

namespace tessel {

namespace {

// The 16-colour palette the drawings keep to.
const QColor kBlack(0, 0, 0), kWhite(255, 255, 255), kGray(128, 128, 128), kSilver(192, 192, 192);
const QColor kNavy(0, 0, 128), kBlue(0, 0, 255), kGreen(0, 128, 0), kLime(0, 255, 0);
const QColor kYellow(255, 255, 0), kOlive(128, 128, 0), kRed(255, 0, 0), kMaroon(128, 0, 0);
const QColor kTeal(0, 128, 128);
// The background: a colour none of the drawings uses.
const QColor kClear(255, 0, 255);

void Box(QPainter& p, int x, int y, int w, int h, const QColor& fill, const QColor& edge) {
    p.fillRect(x, y, w, h, fill);
    p.setPen(edge);
    p.drawRect(x, y, w - 1, h - 1);
}

void DrawOpen(QPainter& p) {
    // A folder with its flap open.
    p.setPen(kBlack);
    p.fillRect(2, 5, 5, 2, kOlive);
    Box(p, 1, 6, 13, 10, kYellow, kBlack);
    p.setPen(kOlive);
    p.drawLine(2, 15, 12, 15);
    QPolygon flap({QPoint(4, 9), QPoint(17, 9), QPoint(14, 16), QPoint(1, 16)});
    p.setBrush(kOlive);
    p.setPen(kBlack);
    p.drawPolygon(flap);
    p.setBrush(Qt::NoBrush);
    // The bent arrow of "open".
    p.setPen(kBlack);
    p.drawLine(10, 2, 14, 2);
    p.drawLine(14, 2, 14, 6);
    p.drawLine(13, 5, 15, 5);
    p.drawPoint(14, 6);
}

void DrawDisk(QPainter& p, const QColor& body) {
    // A floppy disk: body, label, shutter.
    Box(p, 1, 1, 16, 16, body, kBlack);
    p.fillRect(4, 2, 10, 7, kWhite);
    p.setPen(kGray);
    p.drawLine(5, 4, 12, 4);
    p.drawLine(5, 6, 12, 6);
    Box(p, 5, 11, 8, 5, kSilver, kBlack);
    p.fillRect(10, 12, 2, 3, body);
}

void DrawSave(QPainter& p) {
    DrawDisk(p, kNavy);
}

void DrawSaveAnswer(QPainter& p) {
    DrawDisk(p, kTeal);
    // A small grid on the label: the answer table.
    p.setPen(kTeal);
    p.drawLine(8, 2, 8, 8);
    p.drawLine(11, 2, 11, 8);
}

void DrawExecute(QPainter& p) {
    // A lightning bolt: run.
    QPolygon bolt(
        {QPoint(10, 1), QPoint(4, 10), QPoint(8, 10), QPoint(6, 17), QPoint(14, 7), QPoint(10, 7), QPoint(13, 1)});
    p.setBrush(kYellow);
    p.setPen(kMaroon);
    p.drawPolygon(bolt);
    p.setBrush(Qt::NoBrush);
}

void DrawClose(QPainter& p) {
    // A door standing open with an arrow leaving through it.
    Box(p, 7, 1, 10, 16, kSilver, kBlack);
    QPolygon door({QPoint(7, 1), QPoint(12, 3), QPoint(12, 17), QPoint(7, 16)});
    p.setBrush(kMaroon);
    p.setPen(kBlack);
    p.drawPolygon(door);
    p.setBrush(Qt::NoBrush);
    p.setPen(kYellow);
    p.drawPoint(11, 10);
    p.setPen(kRed);
    for (int i = 0; i < 2; ++i) p.drawLine(1, 8 + i, 6, 8 + i);
    p.drawLine(3, 6, 1, 8);
    p.drawLine(3, 11, 1, 9);
}

void DrawHelp(QPainter& p) {
    // A question mark in a blue disc.
    p.setBrush(kBlue);
    p.setPen(kNavy);
    p.drawEllipse(1, 1, 15, 15);
    p.setBrush(Qt::NoBrush);
    p.setPen(kWhite);
    p.drawLine(6, 5, 7, 4);
    p.drawLine(7, 4, 10, 4);
    p.drawLine(10, 4, 11, 5);
    p.drawLine(11, 5, 11, 7);
    p.drawLine(11, 7, 9, 9);
    p.drawLine(9, 9, 9, 10);
    p.drawLine(6, 5, 6, 6);
    p.fillRect(8, 12, 2, 2, kWhite);
}

void DrawPrint(QPainter& p) {
    // A printer with a sheet in it (16 by 16).
    Box(p, 4, 1, 8, 6, kWhite, kBlack);
    p.setPen(kGray);
    p.drawLine(5, 3, 10, 3);
    Box(p, 1, 6, 14, 7, kSilver, kBlack);
    p.setPen(kWhite);
    p.drawLine(2, 7, 13, 7);
    p.fillRect(11, 9, 2, 1, kLime);
    Box(p, 3, 11, 10, 4, kWhite, kBlack);
}

void DrawTableToSql(QPainter& p) {
    // A table grid, an arrow and a sheet of text (24 by 24).
    Box(p, 1, 2, 11, 10, kWhite, kBlack);
    p.fillRect(2, 3, 9, 2, kNavy);
    p.setPen(kBlack);
    p.drawLine(1, 5, 11, 5);
    p.drawLine(1, 8, 11, 8);
    p.drawLine(5, 2, 5, 11);
    p.drawLine(8, 5, 8, 11);
    p.setPen(kGreen);
    for (int i = 0; i < 3; ++i) p.drawLine(6 + i, 13 + i, 6 + i, 19 - i);
    p.drawLine(2, 15, 5, 15);
    p.drawLine(2, 16, 5, 16);
    p.drawLine(2, 14, 2, 16);
    Box(p, 11, 9, 12, 14, kWhite, kBlack);
    p.setPen(kBlue);
    p.drawLine(13, 12, 20, 12);
    p.drawLine(13, 14, 18, 14);
    p.drawLine(13, 16, 20, 16);
    p.drawLine(13, 18, 17, 18);
    p.setPen(kRed);
    p.drawLine(13, 20, 19, 20);
}

using Drawing = void (*)(QPainter&);

QImage Paint(int size, Drawing draw) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(kClear);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    draw(p);
    p.end();
    image.setPixel(0, size - 1, kClear.rgb());  // the transparent colour stays in its corner
    return image;
}

// The normal image followed by its disabled look, both on the clear background.
QImage StripOf(const QImage& normal) {
    const int size = normal.width();
    const QImage cut = glyphs::CutImage(normal, 1, 0);
    const QImage disabled = glyphs::DisabledImage(cut, kWhite, kGray, false);
    QImage strip(2 * size, size, QImage::Format_RGB32);
    strip.fill(kClear);
    QPainter p(&strip);
    p.drawImage(0, 0, normal);
    p.drawImage(size, 0, disabled);
    p.end();
    return strip;
}

}  // namespace

QImage ButtonImageStrip(const QString& name) {
    if (name == "Open") return StripOf(Paint(18, DrawOpen));
    if (name == "Save") return StripOf(Paint(18, DrawSave));
    if (name == "Execute") return StripOf(Paint(18, DrawExecute));
    if (name == "DB2SQL") return Paint(24, DrawTableToSql);
    if (name == "Print") return StripOf(Paint(16, DrawPrint));
    if (name == "Close") return StripOf(Paint(18, DrawClose));
    if (name == "Save1") return StripOf(Paint(18, DrawSaveAnswer));
    if (name == "Help") return StripOf(Paint(18, DrawHelp));
    return {};
}

int ButtonImageCount(const QString& name) {
    return name == "DB2SQL" ? 1 : 2;
}

}  // namespace tessel
