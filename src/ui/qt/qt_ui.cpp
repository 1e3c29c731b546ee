#include "ui/qt/qt_ui.h"

#include <cstring>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "ui/qt/app_icon.h"
#include "ui/qt/qt_ui_port.h"

namespace qarx {

namespace {

constexpr char kPlatformVariable[] = "QT_QPA_PLATFORM";
// The desktop's own window systems, then a last resort that always opens and
// so tells us that none of them did.
constexpr char kPlatformsToTry[] = "xcb;wayland;offscreen";

bool PlatformNamed(int argc, char** argv) {
  if (qEnvironmentVariableIsSet(kPlatformVariable)) return true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<UiPort> MakeQtUi(int& argc, char** argv) {
  const bool named = PlatformNamed(argc, argv);
  if (!named) qputenv(kPlatformVariable, kPlatformsToTry);
  auto app = std::make_unique<QApplication>(argc, argv);
  // Installers and the browser started later must not inherit our choice.
  if (!named) qunsetenv(kPlatformVariable);
  if (!named && QGuiApplication::platformName() == QLatin1String("offscreen")) return nullptr;

  // Message boxes and the tray live without any window of ours.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(qt::AppIcon());
  // Standard buttons in the desktop's language, where Qt's translations are installed.
  auto* translator = new QTranslator(app.get());
  if (translator->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  }
  return std::make_unique<qt::QtUiPort>(std::move(app));
}

}  // namespace qarx
