// Makes a skin's pictures from its SVG sources, as its images.txt lists them:
//   skinrender SOURCE_FOLDER OUTPUT_FOLDER
// Exit status 1 with a message on the first source that is missing or bad.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>
#include <cstdio>

namespace {

bool Fail(const QString& what) {
    std::fprintf(stderr, "skinrender: %s\n", qPrintable(what));
    return false;
}

bool Render(const QString& path, QPainter& painter, const QRectF& target) {
    QSvgRenderer svg(path);
    if (!svg.isValid()) return Fail(path + ": not a readable SVG file");
    svg.render(&painter, target);
    return true;
}

// The glyph in grey, fainter: the picture of a command that cannot be used now.
QImage Greyed(const QImage& glyph) {
    QImage grey = glyph.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int g = 150 + qGray(line[x]) / 4;
            line[x] = qRgba(g, g, g, qAlpha(line[x]) * 55 / 100);
        }
    }
    return grey;
}

bool Strip(const QDir& source, const QString& output, const QString& glyphFile, int w, int h) {
    static const char* const kStates[] = {"normal", "pressed", "hot", "disabled"};
    QImage strip(4 * w, h, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    const int side = qMin(w, h) - 8;
    QImage glyph(side, side, QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    {
        QPainter painter(&glyph);
        painter.setRenderHint(QPainter::Antialiasing);
        if (!Render(source.filePath(glyphFile), painter, QRectF(0, 0, side, side))) return false;
    }
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 4; ++i) {
        const QString face = source.filePath(QStringLiteral("face_%1.svg").arg(kStates[i]));
        if (!Render(face, painter, QRectF(i * w, 0, w, h))) return false;
        const QPoint at(i * w + (w - side) / 2, (h - side) / 2);
        if (i == 1)
            painter.drawImage(at + QPoint(1, 1), glyph);  // pressed: pushed in a little
        else if (i == 3)
            painter.drawImage(at, Greyed(glyph));
        else
            painter.drawImage(at, glyph);
    }
    painter.end();
    return strip.save(output) || Fail(output + ": cannot be written");
}

bool Image(const QDir& source, const QString& output, const QString& file, int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!Render(source.filePath(file), painter, QRectF(0, 0, w, h))) return false;
    painter.end();
    const bool jpeg = output.endsWith(QLatin1String(".jpg"));
    const QImage out = jpeg ? image.convertToFormat(QImage::Format_RGB32) : image;
    return out.save(output, jpeg ? "JPG" : nullptr, jpeg ? 92 : -1) ||
           Fail(output + ": cannot be written");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: skinrender SOURCE_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir source(QString::fromLocal8Bit(argv[1]));
    const QDir output(QString::fromLocal8Bit(argv[2]));
    if (!QDir().mkpath(output.path())) return Fail(output.path() + ": cannot be made"), 1;
    QFile list(source.filePath(QStringLiteral("images.txt")));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return Fail(list.fileName() + ": cannot be read"), 1;
    QTextStream in(&list);
    int lineNo = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        bool wOk = false, hOk = false;
        const int w = f.size() == 5 ? f[3].toInt(&wOk) : 0;
        const int h = f.size() == 5 ? f[4].toInt(&hOk) : 0;
        if (!wOk || !hOk || w <= 8 || h <= 8 || (f[0] != "strip" && f[0] != "image")) {
            Fail(QStringLiteral("images.txt line %1: cannot be read").arg(lineNo));
            return 1;
        }
        const QString out = output.filePath(f[1]);
        const bool done =
            f[0] == "strip" ? Strip(source, out, f[2], w, h) : Image(source, out, f[2], w, h);
        if (!done) return 1;
    }
    return 0;
}
