// Build-time helper: turns the envelope's XPM sources into the files an installation needs.
//   IconTool png <in.xpm> <out.png>            one PNG for the freedesktop icon theme
//   IconTool ico <out.ico> <in.xpm>...         one Windows icon holding every size given
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>

#include <cstdio>

namespace {

QByteArray pngOf(const QString &xpm)
{
    QImage image(xpm);
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
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
    std::fprintf(stderr, "usage: IconTool png <in.xpm> <out.png> | ico <out.ico> <in.xpm>...\n");
    return 2;
}
