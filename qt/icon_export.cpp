// SPDX-License-Identifier: MIT
// rt420-icons: writes the desktop icons of the Debian package, painted by
// the very code that paints the window icon, so that the menu shows the same
// module as the window: PNGs at 48, 128 and 256 pixels and a scalable SVG,
// laid out as the hicolor icon theme wants them under an output folder.
// A build tool, run on Qt's offscreen platform; it is not installed.
//
// usage: rt420-icons OUTPUT_FOLDER ICON_NAME

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgGenerator>
#include <cstdio>

#include "pictures.h"

namespace {
constexpr int kPngSides[] = {48, 128, 256};
const char kUsage[] = "usage: rt420-icons OUTPUT_FOLDER ICON_NAME\n";

// The folder of one size in the theme, made when missing.
bool MakeFolder(const QString& folder) { return QDir().mkpath(folder); }

bool WritePng(const QString& root, const QString& name, int side) {
  const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(side);
  if (!MakeFolder(folder)) return false;
  return WindowIconImage(side).save(folder + "/" + name + ".png", "PNG");
}

// The same drawing as vector paths and text: one unit of the window icon's
// square is one unit of the SVG's view box.
bool WriteSvg(const QString& root, const QString& name) {
  const QString folder = root + "/scalable/apps";
  if (!MakeFolder(folder)) return false;
  QSvgGenerator svg;
  svg.setFileName(folder + "/" + name + ".svg");
  svg.setSize(QSize(kWindowIconSide, kWindowIconSide));
  svg.setViewBox(QRect(0, 0, kWindowIconSide, kWindowIconSide));
  svg.setTitle(QStringLiteral("TAVIX RT-420 Module Config"));
  svg.setDescription(QStringLiteral("The RT-420 converter module with its screw terminals"));
  QPainter painter;
  if (!painter.begin(&svg)) return false;
  PaintWindowIcon(painter);
  return painter.end();
}

bool WriteIcons(const QString& root, const QString& name) {
  for (const int side : kPngSides)
    if (!WritePng(root, name, side)) return false;
  return WriteSvg(root, name);
}
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);  // the fonts of the picture's text
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() != 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!WriteIcons(arguments[1], arguments[2])) {
    std::fprintf(stderr, "rt420-icons: cannot write the icons under %s\n", qPrintable(arguments[1]));
    return 1;
  }
  return 0;
}
