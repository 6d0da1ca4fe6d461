// Build-time helper: turns the envelope into the files an installation needs.
//   IconTool png <in.xpm> <out.png>            one PNG for the freedesktop icon theme
//   IconTool paint <size> <out.png>            the large envelope painted at size x size
//   IconTool svg <out.svg>                     the same envelope as a scalable icon
//   IconTool ico <out.ico> <in.xpm>...         one Windows icon holding every size given
// The 16 and 32 pixel icons are drawn by hand, pixel by pixel (XPM); the larger ones and the
// SVG come from one table of shapes below, laid out on the 32-unit grid of the XPM so that all
// sizes show the same envelope.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPointF>

#include <cstdio>

namespace {

struct Shape
{
    enum Kind { Polygon, Polyline, Circle };
    Kind kind;
    QList<QPointF> points; // a circle: its centre, then (radius, 0)
    const char *fill;      // nullptr: not filled
    const char *stroke;    // nullptr: no outline
    double strokeWidth;
};

constexpr double Grid = 32;

// Back to front: the shadow, the envelope's body, the folds of its lower half, the closed flap,
// and the stamp with its yellow dot, in the XPM's 16-colour palette.
const QList<Shape> &envelope()
{
    // clang-format off
    static const QList<Shape> shapes = {
        {Shape::Polygon,  {{2, 7}, {32, 7}, {32, 27}, {2, 27}},               "#808080", nullptr,   0},
        {Shape::Polygon,  {{1.5, 6.5}, {30.5, 6.5}, {30.5, 25.5}, {1.5, 25.5}}, "#ffffff", "#000000", 1},
        {Shape::Polyline, {{2, 17.5}, {12, 22.5}},                            nullptr,   "#c0c0c0", 1},
        {Shape::Polyline, {{30, 17.5}, {20, 22.5}},                           nullptr,   "#c0c0c0", 1},
        {Shape::Polygon,  {{2.5, 7}, {29.5, 7}, {16, 17.5}},                  "#c0c0c0", "#808080", 1.5},
        {Shape::Polygon,  {{24, 8}, {29, 8}, {29, 13}, {24, 13}},             "#ff0000", nullptr,   0},
        {Shape::Circle,   {{26.5, 10.5}, {0.8, 0}},                           "#ffff00", nullptr,   0},
    };
    // clang-format on
    return shapes;
}

QByteArray pngOf(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QByteArray pngOf(const QString &xpm)
{
    const QImage image(xpm);
    return image.isNull() ? QByteArray() : pngOf(image);
}

QImage painted(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / Grid, size / Grid);
    for (const Shape &shape : envelope()) {
        painter.setBrush(shape.fill ? QBrush(QColor(shape.fill)) : QBrush(Qt::NoBrush));
        painter.setPen(shape.stroke ? QPen(QColor(shape.stroke), shape.strokeWidth, Qt::SolidLine,
                                           Qt::FlatCap, Qt::MiterJoin)
                                    : QPen(Qt::NoPen));
        if (shape.kind == Shape::Circle)
            painter.drawEllipse(shape.points[0], shape.points[1].x(), shape.points[1].x());
        else if (shape.kind == Shape::Polygon)
            painter.drawPolygon(shape.points.data(), static_cast<int>(shape.points.size()));
        else
            painter.drawPolyline(shape.points.data(), static_cast<int>(shape.points.size()));
    }
    return image;
}

// The same shapes in SVG 1.1, whose default caps and joins (butt, miter) match the pens above.
QByteArray svgOf()
{
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"128\" height=\"128\" "
                     "viewBox=\"0 0 32 32\">\n";
    for (const Shape &shape : envelope()) {
        if (shape.kind == Shape::Circle) {
            svg += QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\"")
                           .arg(shape.points[0].x())
                           .arg(shape.points[0].y())
                           .arg(shape.points[1].x())
                           .toUtf8();
        } else {
            svg += shape.kind == Shape::Polygon ? "  <polygon points=\"" : "  <polyline points=\"";
            for (const QPointF &point : shape.points)
                svg += QStringLiteral("%1,%2 ").arg(point.x()).arg(point.y()).toUtf8();
            svg.chop(1);
            svg += '"';
        }
        svg += QByteArray(" fill=\"") + (shape.fill ? shape.fill : "none") + '"';
        if (shape.stroke)
            svg += QByteArray(" stroke=\"") + shape.stroke + "\" stroke-width=\""
                   + QByteArray::number(shape.strokeWidth) + '"';
        svg += "/>\n";
    }
    return svg + "</svg>\n";
}

void putLe(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// An ICO file whose images are stored as PNG, which Windows reads since Vista.
QByteArray icoOf(const QList<QImage> &images, const QList<QByteArray> &pngs)
{
    QByteArray out;
    putLe(out, 0, 2); // reserved
    putLe(out, 1, 2); // type: icon
    putLe(out, static_cast<quint32>(images.size()), 2);
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (int i = 0; i < images.size(); ++i) {
        putLe(out, static_cast<quint32>(images[i].width() % 256), 1);
        putLe(out, static_cast<quint32>(images[i].height() % 256), 1);
        putLe(out, 0, 1); // no palette: the image is PNG
        putLe(out, 0, 1);
        putLe(out, 1, 2);  // planes
        putLe(out, 32, 2); // bits per pixel
        putLe(out, static_cast<quint32>(pngs[i].size()), 4);
        putLe(out, offset, 4);
        offset += static_cast<quint32>(pngs[i].size());
    }
    for (const QByteArray &png : pngs)
        out.append(png);
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("png")) {
        const QByteArray png = pngOf(args[2]);
        return !png.isEmpty() && writeFile(args[3], png) ? 0 : 1;
    }
    if (args.size() == 4 && args[1] == QLatin1String("paint")) {
        const int size = args[2].toInt();
        return size > 0 && writeFile(args[3], pngOf(painted(size))) ? 0 : 1;
    }
    if (args.size() == 3 && args[1] == QLatin1String("svg"))
        return writeFile(args[2], svgOf()) ? 0 : 1;
    if (args.size() >= 4 && args[1] == QLatin1String("ico")) {
        QList<QImage> images;
        QList<QByteArray> pngs;
        for (int i = 3; i < args.size(); ++i) {
            images.append(QImage(args[i]));
            pngs.append(pngOf(args[i]));
            if (images.last().isNull() || pngs.last().isEmpty())
                return 1;
        }
        return writeFile(args[2], icoOf(images, pngs)) ? 0 : 1;
    }
    std::fprintf(stderr,
                 "usage: IconTool png <in.xpm> <out.png> | paint <size> <out.png> | svg <out.svg>"
                 " | ico <out.ico> <in.xpm>...\n");
    return 2;
}
