// The Qt tests share one application on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

namespace {

// The offscreen platform says so whenever a window asks to be raised or to
// grab the keyboard; that is expected here and only hides real messages.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("This plugin does not support"))) return;
  if (message.contains(QLatin1String("systemTrayWindowChanged"))) return;
  qt_message_output(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(QuietOffscreenNotes);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
