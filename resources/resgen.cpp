// lotwise-resgen: draws the desktop program's pictures and prints its user manual at
// build time, so that the repository keeps their sources rather than binaries.
//
//   lotwise-resgen pictures OUTDIR          icon.png (128), picture.png (135), splash.png (1001)
//   lotwise-resgen manual MANUAL.html OUT.pdf
//
// The art is a stack of inventory lots, oldest at the bottom, with the arrow of
// first-in first-out running beside it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

namespace {

const QColor kInk(0x1f, 0x3a, 0x5f);
const QColor kTeal(0x1b, 0x8a, 0x8f);
const QColor kAmber(0xe8, 0xa3, 0x3d);
const QColor kPaper(0xf7, 0xf4, 0xec);

// Three lots in a stack inside `box`, each a crate with a lid line; the newest on top
// is drawn in amber.
void drawLots(QPainter& p, const QRectF& box) {
    const double h = box.height() / 3.3;
    const double gap = h * 0.15;
    const QColor colours[] = {kTeal.darker(130), kTeal, kAmber};
    for (int i = 0; i < 3; ++i) {
        const double inset = i * box.width() * 0.06;
        const QRectF crate(box.left() + inset, box.bottom() - (i + 1) * h - i * gap,
                           box.width() - 2 * inset, h);
        p.setPen(QPen(kInk, std::max(1.0, h * 0.06)));
        p.setBrush(colours[i]);
        p.drawRoundedRect(crate, h * 0.12, h * 0.12);
        p.drawLine(QPointF(crate.left() + crate.width() * 0.08, crate.top() + h * 0.32),
                   QPointF(crate.right() - crate.width() * 0.08, crate.top() + h * 0.32));
    }
}

// A bent arrow from the top down the right side and out at the bottom: first in, first out.
void drawFifoArrow(QPainter& p, const QRectF& box) {
    const double w = std::max(2.0, box.width() * 0.16);
    QPainterPath path;
    path.moveTo(box.left(), box.top() + w);
    path.lineTo(box.right() - w, box.top() + w);
    path.lineTo(box.right() - w, box.bottom() - w * 1.6);
    p.setPen(QPen(kInk, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    QPolygonF head;
    head << QPointF(box.right() - w * 2.3, box.bottom() - w * 2.0)
         << QPointF(box.right() + w * 0.3, box.bottom() - w * 2.0) << QPointF(box.right() - w, box.bottom());
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawPolygon(head);
}

QImage drawIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(side * 0.04, side * 0.04, side * 0.92, side * 0.92);
    QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
    fill.setColorAt(0, kPaper);
    fill.setColorAt(1, kPaper.darker(112));
    p.setPen(QPen(kInk, side * 0.03));
    p.setBrush(fill);
    p.drawRoundedRect(tile, side * 0.16, side * 0.16);
    drawLots(p, QRectF(side * 0.14, side * 0.2, side * 0.5, side * 0.64));
    drawFifoArrow(p, QRectF(side * 0.62, side * 0.18, side * 0.26, side * 0.66));
    return image;
}

QImage drawPicture(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawLots(p, QRectF(width * 0.08, height * 0.08, width * 0.56, height * 0.84));
    drawFifoArrow(p, QRectF(width * 0.68, height * 0.06, width * 0.24, height * 0.86));
    return image;
}

QImage drawSplash(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, kInk);
    sky.setColorAt(1, kTeal.darker(150));
    p.fillRect(image.rect(), sky);

    const QRectF panel(width * 0.06, height * 0.56, width * 0.88, height * 0.36);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRoundedRect(panel, 10, 10);
    drawLots(p, QRectF(panel.left() + panel.width() * 0.05, panel.top() + panel.height() * 0.12,
                       panel.width() * 0.22, panel.height() * 0.76));
    drawFifoArrow(p, QRectF(panel.left() + panel.width() * 0.29, panel.top() + panel.height() * 0.1,
                            panel.width() * 0.09, panel.height() * 0.8));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(height / 6);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kPaper);
    p.drawText(QRectF(0, height * 0.1, width, height * 0.22), Qt::AlignCenter, QStringLiteral("Lotwise"));
    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(height / 24);
    p.setFont(line);
    p.setPen(kAmber);
    p.drawText(QRectF(0, height * 0.34, width, height * 0.1), Qt::AlignCenter,
               QStringLiteral("FIFO inventory valuation for QuickBooks\u00ae"));

    p.setPen(kInk);
    const QRectF notes(panel.left() + panel.width() * 0.44, panel.top(), panel.width() * 0.52, panel.height());
    p.drawText(notes, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Version 1.10\nOldest lots out first,\nnewest lots carry the value."));
    return image;
}

bool save(const QImage& image, const QString& path) {
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "lotwise-resgen: cannot write %s\n", qPrintable(path));
    return false;
}

int pictures(const QString& folder) {
    QDir().mkpath(folder);
    const QDir out(folder);
    const bool ok = save(drawIcon(256), out.filePath(QStringLiteral("icon.png"))) &&
                    save(drawPicture(220, 160), out.filePath(QStringLiteral("picture.png"))) &&
                    save(drawSplash(498, 400), out.filePath(QStringLiteral("splash.png")));
    return ok ? 0 : 1;
}

int manual(const QString& source, const QString& target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "lotwise-resgen: cannot read %s\n", qPrintable(source));
        return 1;
    }
    QPdfWriter pdf(target);
    pdf.setTitle(QStringLiteral("Lotwise User Manual"));
    pdf.setCreator(QStringLiteral("Lotwise"));
    pdf.setPageSize(QPageSize(QPageSize::Letter));
    pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    pdf.setResolution(300);
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setHtml(QString::fromUtf8(in.readAll()));
    document.print(&pdf);
    if (!QFile::exists(target) || QFileInfo(target).size() == 0) {
        std::fprintf(stderr, "lotwise-resgen: cannot write %s\n", qPrintable(target));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("pictures")) return pictures(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("manual")) return manual(args[2], args[3]);
    std::fputs("usage: lotwise-resgen pictures OUTDIR | manual MANUAL.html OUT.pdf\n", stderr);
    return 2;
}
