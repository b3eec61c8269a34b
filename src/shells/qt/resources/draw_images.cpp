// Draws the banner pictures and the window icon of the main window into this folder.
// Not part of the build; run again only to change the artwork:
//   g++ -std=c++20 -fPIC draw_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_images
//   QT_QPA_PLATFORM=offscreen /tmp/draw_images .
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kDeep(0x17, 0x2e, 0x4d);
const QColor kMid(0x22, 0x4c, 0x75);
const QColor kLight(0x2f, 0x6a, 0x98);
const QColor kGold(0xd9, 0xa4, 0x41);
const QColor kInk(0xf4, 0xef, 0xe2);

// The two banner halves share one gradient, so they read as a single strip side by side.
void FillBanner(QPainter& p, int offset, int width, int total) {
    QLinearGradient g(-offset, 0, total - offset, 0);
    g.setColorAt(0, kDeep);
    g.setColorAt(0.55, kMid);
    g.setColorAt(1, kLight);
    p.fillRect(0, 0, width, 47, g);
    p.fillRect(0, 44, width, 3, kGold);
}

QImage Palette(const QImage& image) {
    // 256 colours, as the Windows windows' banner bitmaps are.
    return image.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
}

QImage LeftBanner() {
    QImage image(204, 47, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    FillBanner(p, 0, 204, 480);

    QFont name("DejaVu Serif", 1, QFont::Bold, true);
    name.setPixelSize(25);
    p.setFont(name);
    p.setPen(kInk);
    p.drawText(QRect(10, 2, 120, 32), Qt::AlignLeft | Qt::AlignVCenter, "Zilba");

    QFont sub("DejaVu Sans", 1, QFont::Normal);
    sub.setPixelSize(12);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 2.2);
    p.setFont(sub);
    p.setPen(kGold.lighter(120));
    p.drawText(QRect(12, 28, 190, 15), Qt::AlignLeft | Qt::AlignVCenter, "COMPANION");
    return Palette(image);
}

QPainterPath Signature() {
    // A loose hand-written stroke: a looped capital, a run of small arcs, a trailing flourish.
    QPainterPath s(QPointF(30, 32));
    s.cubicTo(36, 8, 52, 6, 50, 20);
    s.cubicTo(48, 32, 34, 36, 40, 26);
    s.cubicTo(48, 14, 62, 34, 70, 24);
    s.cubicTo(76, 16, 80, 30, 88, 24);
    s.cubicTo(96, 16, 98, 34, 108, 22);
    s.cubicTo(116, 12, 118, 32, 128, 24);
    s.cubicTo(138, 16, 140, 30, 150, 22);
    s.cubicTo(158, 14, 156, 4, 150, 10);
    s.cubicTo(144, 18, 152, 34, 166, 26);
    s.cubicTo(180, 18, 188, 28, 204, 22);
    s.moveTo(52, 36);
    s.cubicTo(110, 30, 180, 32, 246, 26);
    return s;
}

QImage RightBanner() {
    QImage image(276, 47, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    FillBanner(p, 204, 276, 480);

    QPen pen(kInk, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(Signature());
    p.setPen(Qt::NoPen);
    p.setBrush(kGold);
    p.drawEllipse(QPointF(252, 25), 2.4, 2.4);
    return Palette(image);
}

QImage Icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient g(0, 0, 64, 64);
    g.setColorAt(0, kLight);
    g.setColorAt(1, kDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    QFont letter("DejaVu Serif", 1, QFont::Bold, true);
    letter.setPixelSize(44);
    p.setFont(letter);
    p.setPen(kInk);
    p.drawText(QRectF(2, -2, 60, 56), Qt::AlignCenter, "Z");

    QPainterPath stroke(QPointF(12, 52));
    stroke.cubicTo(24, 46, 40, 56, 54, 46);
    p.setPen(QPen(kGold, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stroke);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = LeftBanner().save(out.filePath("banner-left.png"));
    ok = RightBanner().save(out.filePath("banner-right.png")) && ok;
    for (int size : {16, 32, 48, 64}) ok = Icon(size).save(out.filePath(QString("icon-%1.png").arg(size))) && ok;
    return ok ? 0 : 1;
}
