// Writes the application icon that the Qt front-end draws as PNG files of
// the icon theme's sizes: render-icon OUT_DIR writes
// OUT_DIR/<n>x<n>/apps/qarx-service.png. Runs at build time, with no display.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QString>

#include <cstdio>

#include "ui/qt/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render-icon OUT_DIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
    if (!QDir().mkpath(folder) || !qarx::qt::DrawAppIcon(size).save(folder + "/qarx-service.png", "PNG")) {
      std::fprintf(stderr, "render-icon: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
