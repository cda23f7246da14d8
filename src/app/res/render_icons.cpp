// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Build-time tool: renders the program's PNG icons from Material Design SVG
// glyphs, following a manifest (icons.txt beside this file).
//
// Usage: render_icons MANIFEST SVG_ROOT OUTPUT_DIR
//
// Manifest lines: OUTPUT SIZE LAYER... (a line starting with '#' is a comment). Layers are
// painted in order onto a transparent square of SIZE pixels:
//   STYLE/GLYPH:#rrggbb[@SCALE[,DX,DY]]  a glyph, tinted; SCALE of the side
//                                        (default 1), DX/DY shift its centre
//                                        by that fraction of the side
//   slash:#rrggbb                        Material's "off" strike, cutting a gap
//                                        into what lies below
//   tile:#rrggbb                         a rounded square filling the icon
// An OUTPUT ending in .svg is written as a scalable picture of the same layers
// (glyphs and tiles only). Exits non-zero, naming the line, when a glyph is
// missing or a line is malformed.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

namespace {

bool fail(const QString& text)
{
    std::fprintf(stderr, "render_icons: %s\n", qPrintable(text));
    return false;
}

struct SGlyphLayer
{
    QString file;
    QColor color;
    double scale = 1.0, dx = 0.0, dy = 0.0;
    // The glyph's square on a picture of `side` pixels.
    QRectF box(int side) const
    {
        const double extent = side * scale;
        return QRectF(side * (0.5 + dx) - extent / 2, side * (0.5 + dy) - extent / 2, extent,
                      extent);
    }
};

bool parseGlyph(const QString& svgRoot, const QString& layer, SGlyphLayer& parsed)
{
    // STYLE/GLYPH:#rrggbb[@SCALE[,DX,DY]]
    const int colon = layer.indexOf(':');
    if (colon < 0)
        return fail(QStringLiteral("layer without colour: %1").arg(layer));
    const QString glyph = layer.left(colon);
    QString rest = layer.mid(colon + 1);
    double scale = 1.0, dx = 0.0, dy = 0.0;
    const int at = rest.indexOf('@');
    if (at >= 0) {
        const QStringList geometry = rest.mid(at + 1).split(',');
        rest = rest.left(at);
        bool ok = true;
        scale = geometry.value(0).toDouble(&ok);
        if (ok && geometry.size() == 3) {
            bool okX = false, okY = false;
            dx = geometry[1].toDouble(&okX);
            dy = geometry[2].toDouble(&okY);
            ok = okX && okY;
        } else if (geometry.size() != 1) {
            ok = false;
        }
        if (!ok || scale <= 0)
            return fail(QStringLiteral("bad geometry: %1").arg(layer));
    }
    parsed.color = QColor(rest);
    if (!parsed.color.isValid())
        return fail(QStringLiteral("bad colour: %1").arg(layer));
    parsed.file = svgRoot + '/' + glyph + QStringLiteral(".svg");
    parsed.scale = scale;
    parsed.dx = dx;
    parsed.dy = dy;
    return true;
}

bool paintGlyph(QPainter& target, int side, const QString& svgRoot, const QString& layer)
{
    SGlyphLayer glyph;
    if (!parseGlyph(svgRoot, layer, glyph))
        return false;
    QSvgRenderer renderer(glyph.file);
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot load %1").arg(glyph.file));
    const QColor color = glyph.color;

    QImage layerImage(side, side, QImage::Format_ARGB32_Premultiplied);
    layerImage.fill(Qt::transparent);
    {
        QPainter p(&layerImage);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, glyph.box(side));
        // The glyphs are black shapes; keep their coverage, take our colour.
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(layerImage.rect(), color);
    }
    target.drawImage(0, 0, layerImage);
    return true;
}

bool paintSlash(QPainter& target, int side, const QString& colorText)
{
    const QColor color(colorText);
    if (!color.isValid())
        return fail(QStringLiteral("bad colour: slash:%1").arg(colorText));
    // On the 24-unit grid of the glyphs, as the Material "_off" icons draw it:
    // a 2-unit bar from (2.8, 2.8) to (21.2, 21.2) with a clear gap beside it.
    const double unit = side / 24.0;
    const QLineF bar(2.8 * unit, 2.8 * unit, 21.2 * unit, 21.2 * unit);
    target.save();
    target.setRenderHint(QPainter::Antialiasing);
    target.setCompositionMode(QPainter::CompositionMode_Clear);
    target.setPen(QPen(Qt::black, 4.0 * unit, Qt::SolidLine, Qt::FlatCap));
    target.drawLine(bar.translated(-0.5 * unit, 0.5 * unit));
    target.setCompositionMode(QPainter::CompositionMode_SourceOver);
    target.setPen(QPen(color, 2.0 * unit, Qt::SolidLine, Qt::RoundCap));
    target.drawLine(bar);
    target.restore();
    return true;
}

QRectF tileRect(int side)
{
    const double margin = side / 16.0;
    return QRectF(margin, margin, side - 2 * margin, side - 2 * margin);
}

double tileRadius(int side)
{
    return side / 5.0;
}

bool paintTile(QPainter& target, int side, const QString& colorText)
{
    const QColor color(colorText);
    if (!color.isValid())
        return fail(QStringLiteral("bad colour: tile:%1").arg(colorText));
    target.save();
    target.setRenderHint(QPainter::Antialiasing);
    target.setPen(Qt::NoPen);
    target.setBrush(color);
    target.drawRoundedRect(tileRect(side), tileRadius(side), tileRadius(side));
    target.restore();
    return true;
}

// The same layers as vector shapes: the glyphs' own paths, placed and tinted.
bool writeSvg(const QStringList& layers, int side, const QString& svgRoot, const QString& outFile)
{
    QString body;
    for (const QString& layer : layers) {
        if (layer.startsWith(QLatin1String("tile:"))) {
            const QColor color(layer.mid(5));
            if (!color.isValid())
                return fail(QStringLiteral("bad colour: %1").arg(layer));
            const QRectF r = tileRect(side);
            body += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                                   "rx=\"%5\" fill=\"%6\"/>")
                        .arg(r.x())
                        .arg(r.y())
                        .arg(r.width())
                        .arg(r.height())
                        .arg(tileRadius(side))
                        .arg(color.name());
            continue;
        }
        if (layer.startsWith(QLatin1String("slash:")))
            return fail(QStringLiteral("slash is not drawn in SVG output"));
        SGlyphLayer glyph;
        if (!parseGlyph(svgRoot, layer, glyph))
            return false;
        QFile file(glyph.file);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot load %1").arg(glyph.file));
        const QString svg = QString::fromUtf8(file.readAll());
        // The glyphs are single 24-unit squares: <svg ... viewBox="0 0 24 24">shapes</svg>.
        const int open = svg.indexOf(QLatin1String("<svg"));
        const int start = svg.indexOf('>', open) + 1;
        const int end = svg.lastIndexOf(QLatin1String("</svg>"));
        if (open < 0 || start <= 0 || end < start ||
            !svg.left(start).contains(QLatin1String("viewBox=\"0 0 24 24\"")))
            return fail(QStringLiteral("unexpected SVG layout in %1").arg(glyph.file));
        const QRectF box = glyph.box(side);
        body += QStringLiteral("<g fill=\"%1\" transform=\"translate(%2 %3) scale(%4)\">%5</g>")
                    .arg(glyph.color.name())
                    .arg(box.x())
                    .arg(box.y())
                    .arg(box.width() / 24.0)
                    .arg(svg.mid(start, end - start));
    }
    QFile out(outFile);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write %1").arg(outFile));
    out.write(QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                             "height=\"%1\" viewBox=\"0 0 %1 %1\">%2</svg>\n")
                  .arg(side)
                  .arg(body)
                  .toUtf8());
    return true;
}

bool renderLine(const QStringList& fields, const QString& svgRoot, const QString& outputDir)
{
    bool ok = false;
    const int side = fields.value(1).toInt(&ok);
    if (fields.size() < 3 || !ok || side <= 0)
        return fail(QStringLiteral("expected OUTPUT SIZE LAYER..."));

    const QString outFile = outputDir + '/' + fields[0];
    if (!QDir().mkpath(QFileInfo(outFile).absolutePath()))
        return fail(QStringLiteral("cannot create the folder of %1").arg(outFile));
    if (outFile.endsWith(QLatin1String(".svg")))
        return writeSvg(fields.mid(2), side, svgRoot, outFile);

    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        for (int i = 2; i < fields.size(); ++i) {
            const QString& layer = fields[i];
            bool painted;
            if (layer.startsWith(QLatin1String("slash:")))
                painted = paintSlash(painter, side, layer.mid(6));
            else if (layer.startsWith(QLatin1String("tile:")))
                painted = paintTile(painter, side, layer.mid(5));
            else
                painted = paintGlyph(painter, side, svgRoot, layer);
            if (!painted)
                return false;
        }
    }
    if (!image.convertToFormat(QImage::Format_ARGB32).save(outFile, "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(outFile));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: render_icons MANIFEST SVG_ROOT OUTPUT_DIR\n");
        return 2;
    }
    QFile manifest(args[1]);
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text)) {
        fail(QStringLiteral("cannot read %1").arg(args[1]));
        return 1;
    }
    QTextStream in(&manifest);
    int lineNumber = 0;
    while (!in.atEnd()) {
        ++lineNumber;
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!renderLine(line.split(' ', Qt::SkipEmptyParts), args[2], args[3])) {
            fail(QStringLiteral("%1:%2").arg(args[1]).arg(lineNumber));
            return 1;
        }
    }
    return 0;
}
