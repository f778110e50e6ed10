// Test entry of the import folder: the dialogs, boxes and the main window need one
// application object, created before any test and on the main thread; the sitemap
// fetch needs libcurl set up before any transfer, as the program's start-up does.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  curl_global_init(CURL_GLOBAL_DEFAULT);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  curl_global_cleanup();
  return status;
}
