// One-off generator of the pictures stored in the program's resources:
//   still_life.jpg  640x480 background of the main window, a blue-grey still
//                   life (vase, fruit, table edge, soft light from the left);
//   arrow_left.png  16x16 glowing arrow of the About window, pointing left.
// Usage: pdeclare-paint-pictures <output dir>. The results are committed
// under app/images/; rerun only to change the pictures.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cstdio>

namespace {

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

// A soft shadow: a stack of translucent ellipses, largest first.
void softShadow(QPainter &p, const QPointF &centre, double rx, double ry, int alpha)
{
    p.setPen(Qt::NoPen);
    for (int i = 10; i >= 1; --i) {
        const double f = 0.6 + 0.06 * i;
        p.setBrush(QColor(20, 28, 40, alpha / 10));
        p.drawEllipse(centre, rx * f, ry * f);
    }
}

// A fruit: a sphere lit from the upper left, with a rim of reflected light.
void fruit(QPainter &p, const QPointF &c, double r, const QColor &base)
{
    softShadow(p, c + QPointF(r * 0.55, r * 0.85), r * 1.15, r * 0.32, 110);
    QRadialGradient g(c + QPointF(-r * 0.38, -r * 0.42), r * 1.55, c + QPointF(-r * 0.45, -r * 0.5));
    g.setColorAt(0.0, mix(base, Qt::white, 0.65));
    g.setColorAt(0.25, mix(base, Qt::white, 0.2));
    g.setColorAt(0.7, base);
    g.setColorAt(1.0, mix(base, QColor(15, 20, 30), 0.75));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    // bounce light from the table along the lower right rim
    QRadialGradient rim(c + QPointF(r * 0.45, r * 0.55), r * 0.7);
    rim.setColorAt(0.0, QColor(190, 205, 220, 60));
    rim.setColorAt(1.0, QColor(190, 205, 220, 0));
    p.setBrush(rim);
    p.drawEllipse(c, r, r);
}

void paintStillLife(QImage &img)
{
    const int w = img.width(), h = img.height();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Wall: cool blue-grey, lighter towards the window light on the left.
    QLinearGradient wall(0, 0, w, h * 0.7);
    wall.setColorAt(0.0, QColor(150, 166, 182));
    wall.setColorAt(0.55, QColor(104, 120, 138));
    wall.setColorAt(1.0, QColor(70, 84, 100));
    p.fillRect(0, 0, w, h, wall);
    QRadialGradient light(w * 0.18, h * 0.12, w * 0.75);
    light.setColorAt(0.0, QColor(235, 238, 240, 120));
    light.setColorAt(0.5, QColor(220, 228, 236, 40));
    light.setColorAt(1.0, QColor(220, 228, 236, 0));
    p.fillRect(0, 0, w, h, light);

    // A faint fold of drapery hanging at the back right.
    QPainterPath drape;
    drape.moveTo(w * 0.62, 0);
    drape.cubicTo(w * 0.70, h * 0.25, w * 0.60, h * 0.45, w * 0.72, h * 0.66);
    drape.lineTo(w, h * 0.66);
    drape.lineTo(w, 0);
    drape.closeSubpath();
    QLinearGradient dg(w * 0.6, 0, w, 0);
    dg.setColorAt(0.0, QColor(88, 102, 124, 150));
    dg.setColorAt(0.35, QColor(120, 134, 156, 120));
    dg.setColorAt(0.6, QColor(80, 94, 116, 150));
    dg.setColorAt(1.0, QColor(104, 118, 140, 130));
    p.setPen(Qt::NoPen);
    p.setBrush(dg);
    p.drawPath(drape);

    // Table: top surface receding, a lit front edge, then the darker apron.
    const double top = h * 0.64, edge = h * 0.80;
    QLinearGradient tg(0, top, 0, edge);
    tg.setColorAt(0.0, QColor(96, 108, 122));
    tg.setColorAt(1.0, QColor(136, 146, 156));
    p.fillRect(QRectF(0, top, w, edge - top), tg);
    p.fillRect(QRectF(0, edge - 3, w, 4), QColor(196, 204, 210));
    QLinearGradient ag(0, edge, 0, h);
    ag.setColorAt(0.0, QColor(62, 72, 86));
    ag.setColorAt(1.0, QColor(38, 45, 56));
    p.fillRect(QRectF(0, edge + 1, w, h - edge), ag);

    // Vase: a tall rounded body with a narrow neck and a flared lip.
    const double cx = w * 0.40, base = top + 52;
    softShadow(p, QPointF(cx + 55, base - 2), 92, 16, 150);
    QPainterPath vase;
    vase.moveTo(cx - 34, base);
    vase.cubicTo(cx - 96, base - 60, cx - 92, base - 150, cx - 30, base - 196);
    vase.cubicTo(cx - 18, base - 210, cx - 20, base - 232, cx - 36, base - 248);
    vase.lineTo(cx + 36, base - 248);
    vase.cubicTo(cx + 20, base - 232, cx + 18, base - 210, cx + 30, base - 196);
    vase.cubicTo(cx + 92, base - 150, cx + 96, base - 60, cx + 34, base);
    vase.closeSubpath();
    QLinearGradient vg(cx - 90, 0, cx + 90, 0);
    vg.setColorAt(0.0, QColor(132, 156, 182));
    vg.setColorAt(0.22, QColor(206, 218, 230));
    vg.setColorAt(0.45, QColor(120, 142, 168));
    vg.setColorAt(0.8, QColor(58, 74, 96));
    vg.setColorAt(1.0, QColor(40, 52, 70));
    p.setBrush(vg);
    p.drawPath(vase);
    // glaze highlight and the dark opening of the lip
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawEllipse(QPointF(cx - 44, base - 120), 9, 42);
    p.setBrush(QColor(34, 44, 60));
    p.drawEllipse(QPointF(cx, base - 248), 35, 6);
    // a painted band round the belly
    p.save();
    p.setClipPath(vase);
    p.setPen(QPen(QColor(70, 90, 118, 160), 3));
    p.setBrush(Qt::NoBrush);
    QPainterPath band;
    band.moveTo(cx - 86, base - 104);
    band.cubicTo(cx - 40, base - 88, cx + 40, base - 88, cx + 86, base - 104);
    p.drawPath(band);
    p.restore();
    p.setPen(Qt::NoPen);

    // A few dry stems in the vase.
    p.setPen(QPen(QColor(70, 78, 88), 2.2, Qt::SolidLine, Qt::RoundCap));
    const QPointF stemBase(cx, base - 246);
    const QPointF tips[] = {{cx - 70, 40}, {cx - 10, 22}, {cx + 60, 52}, {cx + 110, 96}};
    for (const QPointF &tip : tips) {
        QPainterPath s;
        s.moveTo(stemBase);
        s.quadTo(QPointF((stemBase.x() + tip.x()) / 2 + 8, (stemBase.y() + tip.y()) / 2), tip);
        p.drawPath(s);
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(178, 186, 196));
        p.drawEllipse(tip, 6, 5);
        p.restore();
    }
    p.setPen(Qt::NoPen);

    // Fruit on the table: muted pears and apples, a small heap of grapes.
    fruit(p, QPointF(w * 0.60, top + 40), 34, QColor(150, 150, 120));
    fruit(p, QPointF(w * 0.70, top + 30), 28, QColor(128, 136, 150));
    fruit(p, QPointF(w * 0.66, top + 50), 30, QColor(160, 130, 112));
    for (int i = 0; i < 9; ++i) {
        const double gx = w * 0.80 + (i % 3) * 13 + (i / 3) * 6;
        const double gy = top + 36 + (i / 3) * 11;
        fruit(p, QPointF(gx, gy), 8, QColor(92, 100, 130));
    }
    // a lemon-shaped fruit in front of the vase, on the left
    fruit(p, QPointF(w * 0.20, top + 52), 22, QColor(176, 170, 130));

    // Soft painterly grain.
    QRandomGenerator rng(20060912);
    for (int i = 0; i < 9000; ++i) {
        const int x = rng.bounded(w), y = rng.bounded(h);
        const int a = rng.bounded(10, 26);
        p.fillRect(x, y, 1, 1, rng.bounded(2) ? QColor(255, 255, 255, a) : QColor(0, 0, 0, a));
    }

    // Vignette.
    QRadialGradient vign(w * 0.45, h * 0.45, w * 0.72);
    vign.setColorAt(0.6, QColor(0, 0, 0, 0));
    vign.setColorAt(1.0, QColor(10, 16, 26, 110));
    p.fillRect(0, 0, w, h, vign);
}

void paintArrow(QImage &img)
{
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(1.5, 8);
    arrow.lineTo(8, 2);
    arrow.lineTo(8, 5.5);
    arrow.lineTo(14.5, 5.5);
    arrow.lineTo(14.5, 10.5);
    arrow.lineTo(8, 10.5);
    arrow.lineTo(8, 14);
    arrow.closeSubpath();
    // glow: wide translucent strokes under the arrow
    for (int i = 3; i >= 1; --i) {
        p.setPen(QPen(QColor(255, 200, 60, 45), i * 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
    }
    QLinearGradient g(0, 2, 0, 14);
    g.setColorAt(0.0, QColor(255, 236, 140));
    g.setColorAt(0.5, QColor(255, 170, 20));
    g.setColorAt(1.0, QColor(214, 100, 0));
    p.setPen(QPen(QColor(160, 70, 0), 0.8));
    p.setBrush(g);
    p.drawPath(arrow);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output dir>\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    QImage still(640, 480, QImage::Format_RGB32);
    paintStillLife(still);
    QImage arrow(16, 16, QImage::Format_ARGB32_Premultiplied);
    paintArrow(arrow);
    const bool ok = still.save(dir + QStringLiteral("still_life.jpg"), "JPEG", 88)
        && arrow.save(dir + QStringLiteral("arrow_left.png"), "PNG");
    if (!ok) {
        std::fprintf(stderr, "cannot write the pictures to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
