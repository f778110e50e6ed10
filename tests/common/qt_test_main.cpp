// Test entry of the folders whose tests need the window system: one application
// object, created on the main thread before any test (offscreen unless the caller
// chose a platform), and libcurl set up before any thread, as the program's
// start-up does.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  curl_global_init(CURL_GLOBAL_DEFAULT);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
