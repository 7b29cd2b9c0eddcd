// The grid's tests run on the offscreen platform inside one QApplication.
#include <gtest/gtest.h>
#include <QApplication>

namespace {
// The offscreen platform warns about every popup it cannot raise or grab for.
void QuietOffscreenWarnings(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) {
    return;
  }
  qt_message_output(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(QuietOffscreenWarnings);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("GridTests"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
