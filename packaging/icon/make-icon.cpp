// Draws the updater's icon (a bench instrument with a chip carrying an
// upward arrow) at every size the desktops ask for, and writes the PNGs and
// the Windows .ico from the same drawing, so the icon is remade from source.
//
//   kd740-make-icon OUTDIR      writes OUTDIR/kd740-updater-<N>.png and OUTDIR/kd740-updater.ico
//   kd740-make-icon --check ICO exits non-zero unless ICO holds exactly what this program draws

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVector>

#include <cstdio>

namespace {

const int kSizes[] = { 16, 32, 48, 64, 128, 256 };
// Windows reads small icons faster as DIBs; from 256 px on, PNG keeps the file small.
const int kFirstPngSize = 256;

void drawChip(QPainter &painter, bool detailed)
{
    const QRectF chip(146, 138, 88, 88);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd9, 0xa4, 0x2b));
    const int pins = detailed ? 4 : 2;
    const qreal pitch = chip.width() / (pins + 1);
    const qreal pinLength = 12;
    const qreal pinWidth = detailed ? 9 : 14;
    for (int i = 1; i <= pins; ++i) {
        const qreal along = pitch * i - pinWidth / 2;
        painter.drawRect(QRectF(chip.left() + along, chip.top() - pinLength, pinWidth, pinLength));
        painter.drawRect(QRectF(chip.left() + along, chip.bottom(), pinWidth, pinLength));
        painter.drawRect(QRectF(chip.left() - pinLength, chip.top() + along, pinLength, pinWidth));
        painter.drawRect(QRectF(chip.right(), chip.top() + along, pinLength, pinWidth));
    }

    painter.setBrush(QColor(0x26, 0x29, 0x2e));
    painter.setPen(QPen(QColor(0x0e, 0x10, 0x12), 4));
    painter.drawRoundedRect(chip, 8, 8);

    // The arrow says "new firmware goes in"; it is the one mark that must
    // survive at 16 px, so it is drawn wide.
    QPainterPath arrow;
    const QPointF c = chip.center();
    arrow.moveTo(c.x(), c.y() - 30);
    arrow.lineTo(c.x() + 26, c.y() - 2);
    arrow.lineTo(c.x() + 11, c.y() - 2);
    arrow.lineTo(c.x() + 11, c.y() + 28);
    arrow.lineTo(c.x() - 11, c.y() + 28);
    arrow.lineTo(c.x() - 11, c.y() - 2);
    arrow.lineTo(c.x() - 26, c.y() - 2);
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x4c, 0xe0, 0x8a));
    painter.drawPath(arrow);
}

QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const bool detailed = size >= 48;

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    // Instrument case.
    const QRectF body(14, 36, 206, 160);
    QLinearGradient caseGradient(body.topLeft(), body.bottomLeft());
    caseGradient.setColorAt(0, QColor(0x5b, 0x83, 0xbd));
    caseGradient.setColorAt(1, QColor(0x2a, 0x45, 0x74));
    painter.setBrush(caseGradient);
    painter.setPen(QPen(QColor(0x18, 0x28, 0x44), detailed ? 6 : 10));
    painter.drawRoundedRect(body, 22, 22);

    // Screen with a trace on it.
    const QRectF screen(34, 56, 126, 84);
    painter.setBrush(QColor(0x0c, 0x1a, 0x12));
    painter.setPen(QPen(QColor(0x10, 0x18, 0x20), 4));
    painter.drawRoundedRect(screen, 8, 8);
    QPainterPath trace;
    trace.moveTo(44, 110);
    trace.lineTo(66, 110);
    trace.lineTo(78, 72);
    trace.lineTo(94, 126);
    trace.lineTo(108, 92);
    trace.lineTo(120, 110);
    trace.lineTo(150, 110);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x4c, 0xe0, 0x8a), detailed ? 6 : 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(trace);

    if (detailed) {
        painter.setPen(QPen(QColor(0x18, 0x28, 0x44), 4));
        painter.setBrush(QColor(0xd5, 0xdc, 0xe6));
        painter.drawEllipse(QPointF(190, 74), 14, 14);
        painter.drawEllipse(QPointF(190, 112), 14, 14);
        painter.setBrush(QColor(0xe8, 0x5d, 0x4a));
        painter.drawEllipse(QPointF(40, 170), 9, 9);
    }

    drawChip(painter, detailed);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// 32-bit DIB as an .ico entry wants it: BITMAPINFOHEADER with doubled
// height, bottom-up BGRA rows, then a 1-bit AND mask (set where transparent).
QByteArray dibEntry(const QImage &image)
{
    const int size = image.width();
    const int maskStride = ((size + 31) / 32) * 4;
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(40) << qint32(size) << qint32(size * 2) << quint16(1) << quint16(32) << quint32(0)
        << quint32(size * size * 4 + maskStride * size) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = image.pixel(x, y);
            out << quint8(qBlue(pixel)) << quint8(qGreen(pixel)) << quint8(qRed(pixel)) << quint8(qAlpha(pixel));
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < size; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.writeRawData(row.constData(), row.size());
    }
    return data;
}

QByteArray pngEntry(const QImage &image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

QByteArray icoFile(const QVector<QImage> &images)
{
    QVector<QByteArray> entries;
    for (const QImage &image : images)
        entries << (image.width() >= kFirstPngSize ? pngEntry(image) : dibEntry(image));

    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        // A width or height of 256 does not fit the byte and is stored as 0.
        const quint8 side = quint8(images[i].width() >= 256 ? 0 : images[i].width());
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32) << quint32(entries[i].size())
            << offset;
        offset += quint32(entries[i].size());
    }
    for (const QByteArray &entry : entries)
        out.writeRawData(entry.constData(), entry.size());
    return data;
}

QVector<QImage> drawAll()
{
    QVector<QImage> images;
    for (int size : kSizes)
        images << drawIcon(size);
    return images;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush()) {
        std::fprintf(stderr, "kd740-make-icon: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

int writeAll(const QString &outDir)
{
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "kd740-make-icon: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    const QVector<QImage> images = drawAll();
    for (const QImage &image : images) {
        const QString path = QStringLiteral("%1/kd740-updater-%2.png").arg(outDir).arg(image.width());
        if (!writeFile(path, pngEntry(image)))
            return 1;
    }
    return writeFile(outDir + QStringLiteral("/kd740-updater.ico"), icoFile(images)) ? 0 : 1;
}

// Compares decoded pixels, not bytes: a newer zlib may pack the PNG entry
// differently without the icon having changed.
int check(const QString &icoPath)
{
    QImageReader reader(icoPath, "ico");
    const QVector<QImage> expected = drawAll();
    if (reader.imageCount() != expected.size()) {
        std::fprintf(stderr, "%s: %d images, expected %d\n", qPrintable(icoPath), reader.imageCount(),
                     int(expected.size()));
        return 1;
    }
    int failures = 0;
    for (int i = 0; i < expected.size(); ++i) {
        const QImage actual = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (actual != expected[i]) {
            std::fprintf(stderr, "%s: image %d (%dx%d) differs from the generator's %d px drawing%s\n",
                         qPrintable(icoPath), i, actual.width(), actual.height(), expected[i].width(),
                         actual.isNull() ? qPrintable(QStringLiteral(" (") + reader.errorString() + ')') : "");
            ++failures;
        }
        reader.jumpToNextImage();
    }
    if (failures)
        std::fprintf(stderr, "Regenerate with the kd740_icons target and copy kd740-updater.ico over %s\n",
                     qPrintable(icoPath));
    return failures ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--check"))
        return check(args[2]);
    if (args.size() == 2 && !args[1].startsWith('-'))
        return writeAll(args[1]);
    std::fprintf(stderr, "usage: kd740-make-icon OUTDIR\n       kd740-make-icon --check ICO\n");
    return 2;
}
