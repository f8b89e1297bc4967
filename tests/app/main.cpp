#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

namespace tarnwick::testing {
int RunStartupTests(int argc, char** argv);
int RunWindowTests(int argc, char** argv);
}  // namespace tarnwick::testing

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The real settings store must not touch the user's own.
  QTemporaryDir config;
  ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication application(argc, argv);
  int failed = 0;
  failed += tarnwick::testing::RunStartupTests(argc, argv);
  failed += tarnwick::testing::RunWindowTests(argc, argv);
  return failed == 0 ? 0 : 1;
}
