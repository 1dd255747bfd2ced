// SPDX-License-Identifier: MIT
// rt420-pictures: writes the pictures of the window's buttons and the window
// icon as PNG files, painted by the code that paints them in the Qt window,
// so that the Win32 window shows the same pictures (scripts/win32-pictures.sh
// turns them into its icon resources). A build tool; it is not installed.
//
// usage: rt420-pictures OUTPUT_FOLDER

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "pictures.h"

namespace {
constexpr int kIconSides[] = {16, 24, 32, 48, 256};

struct Named {
  const char* name;
  QPixmap (*picture)();
};
constexpr Named kPictures[] = {{"scan", ScanPicture},         {"id", IdPicture},
                               {"baudrate", BaudRatePicture}, {"mode", ModePicture},
                               {"process", ProcessPicture},   {"factory", FactoryPicture}};
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fputs("usage: rt420-pictures OUTPUT_FOLDER\n", stderr);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) return 1;
  bool written = true;
  for (const Named& picture : kPictures)
    written = picture.picture().save(folder + "/" + picture.name + ".png", "PNG") && written;
  for (int side : kIconSides)
    written = WindowIconImage(side).save(QStringLiteral("%1/icon-%2.png").arg(folder).arg(side), "PNG") && written;
  return written ? 0 : 1;
}
