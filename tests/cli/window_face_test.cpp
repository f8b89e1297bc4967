#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <string>
#include <thread>

#include "app/installer_form.h"
#include "app/qt_services.h"
#include "cli_scene.h"
#include "fixtures/recording_messages.h"
#include "fixtures/scripted_file_dialog.h"
#include "manage/game_session.h"
#include "platform/host_path.h"

namespace tarnwick::testing {

// The window and the command line are two faces of the same operations.
class WindowFaceTest : public QObject {
  Q_OBJECT

 private slots:
  // Three sample mods (archives of both editions, icons and a replaced file) installed and the
  // latest removed, once through the window's buttons and once by a script, each told where the
  // game folder is: the game ends with the same bytes.
  void scriptMatchesTheWindow() {
    const std::vector<std::string> script = {"trooper-graphics.mpi", "civilisation-icons.mpi",
                                             "unit-names-language.mpi"};
    CliScene window_scene;
    CliScene script_scene;
    const Tree before = ReadTree(window_scene.GameHost());
    QCOMPARE(before, ReadTree(script_scene.GameHost()));

    fixtures::RecordingMessages messages;
    fixtures::ScriptedFileDialog dialog;
    QtSettings settings;
    SetGameLocation({.prefix = {}, .game_folder = window_scene.GameHost()});
    InstallerForm form(messages, dialog, settings, nullptr);
    QVERIFY(!form.Form_Load());
    form.show();
    for (const std::string& mod : script) {
      dialog.answer = ProgramPathFromHost(window_scene.Mod(mod));
      form.OpenModButton()->click();
      QVERIFY(form.InstallModButton()->isEnabled());
      form.InstallModButton()->click();
    }
    form.RemoveButton()->click();
    for (const std::string& error : messages.Errors()) qWarning("%s", error.c_str());
    QCOMPARE(messages.Errors(), std::vector<std::string>{});
    form.close();

    const std::string game = script_scene.GameHost();
    for (const std::string& mod : script) {
      const std::string path = script_scene.Mod(mod);
      QCOMPARE(script_scene.RunBare({"--game", game, "install", "--yes", path}).status, 0);
    }
    QCOMPARE(script_scene.RunBare({"--game", game, "remove", "--yes"}).status, 0);
    const Tree window_tree = ReadTree(window_scene.GameHost());
    QCOMPARE(window_tree, ReadTree(script_scene.GameHost()));
    QCOMPARE(window_tree.count("Data/mods.log"), size_t{1});
    // Two mods stay installed: the comparison is not between two untouched games.
    QVERIFY(window_tree != before);
  }

  // The real program started with a package: it opens it through "Open mod"'s steps, which
  // remember its folder in the program's own settings.
  void programStartedWithAPackage() {
    CliScene scene;
    const pid_t pid =
        StartProgram(TARNWICK_PROGRAM, {"--prefix", scene.prefix, scene.Mod("blaster-sound.mpi")},
                     ProgramEnvironment(scene.dir.path(), {"QT_QPA_PLATFORM=offscreen"}));
    QVERIFY(pid > 0);
    const QString config = QString::fromStdString(scene.dir / "config/Tarnwick/Tarnwick.conf");
    QString remembered;
    for (int i = 0; i < 150 && remembered.isEmpty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      remembered = QSettings(config, QSettings::IniFormat).value("Open/Last directory").toString();
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    QCOMPARE(remembered, QStringLiteral("C:\\Mods\\"));
  }
};

}  // namespace tarnwick::testing

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QTemporaryDir config;
  ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication application(argc, argv);
  tarnwick::testing::WindowFaceTest test;
  return QTest::qExec(&test, argc, argv) == 0 ? 0 : 1;
}

#include "window_face_test.moc"
