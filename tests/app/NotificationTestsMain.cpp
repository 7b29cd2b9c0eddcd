// The notification tests run with an application object on the offscreen platform and
// the FFmpeg media backend, as the program selects it (GStreamer crashes without its plugins),
// and the sound module of this build.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
    qputenv("QT_MEDIA_BACKEND", "ffmpeg");
  }
  if (qEnvironmentVariableIsEmpty("VAZUDOVU_MODULE_DIR")) {
    qputenv("VAZUDOVU_MODULE_DIR", VAZUDOVU_BUILD_MODULE_DIR);
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
