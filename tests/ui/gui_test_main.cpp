// The window tests need one QApplication for the whole process.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  // Test discovery runs this binary without ctest's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Whatever a test forgets, the user's real settings stay out of reach.
  std::string config = "/tmp/zek_gui_tests.XXXXXX";
  if (mkdtemp(config.data()) == nullptr) return 2;
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);

  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove_all(config);
  return result;
}
