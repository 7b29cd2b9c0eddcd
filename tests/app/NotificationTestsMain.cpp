// The notification tests run with an application object on the offscreen platform and
// the FFmpeg media backend, as the program selects it (GStreamer crashes without its plugins).
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
    qputenv("QT_MEDIA_BACKEND", "ffmpeg");
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
