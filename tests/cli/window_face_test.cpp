#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/installer_form.h"
#include "app/qt_services.h"
#include "cli_scene.h"
#include "fixtures/recording_messages.h"
#include "fixtures/scripted_file_dialog.h"
#include "manage/game_session.h"
#include "platform/file_dialog.h"
#include "platform/host_path.h"
#include "sample_game.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"

namespace tarnwick::testing {
namespace {

using fixtures::ScriptedFileDialog;

// Where the game is, as both faces are told: a Wine prefix, or the folder itself.
struct Game {
  std::string prefix;
  std::string folder;
  std::vector<std::string> Args() const {
    return prefix.empty() ? std::vector<std::string>{"--game", folder}
                          : std::vector<std::string>{"--prefix", prefix};
  }
};

// The crash tests' game, laid out as installed: archives and data files in Data.
std::string WriteCrashTestGame(const std::string& folder) {
  for (const auto& [name, bytes] : SampleGame()) {
    const bool in_game_folder = name.ends_with(".dll") || name.ends_with(".exe");
    if (fixtures::WriteHostFile(folder + (in_game_folder ? "/" : "/Data/") + name, bytes)) {
      return {};
    }
  }
  return folder;
}

std::string PackageOf(std::vector<fixtures::MpiRow> rows, const std::string& title) {
  fixtures::MpiPackage package;
  package.title = title;
  package.rows = std::move(rows);
  return fixtures::BuildMpi(package);
}

}  // namespace

// The window and the command line are two faces of the same operations.
class WindowFaceTest : public QObject {
  Q_OBJECT

 private slots:
  // Three mods installed and the latest removed, once through the window's buttons and once by
  // a script: the game ends with the same bytes.
  void scriptMatchesTheWindow_data() {
    QTest::addColumn<bool>("demoPrefix");
    QTest::newRow("demo prefix, its sample mods") << true;
    QTest::newRow("crash tests' game and package") << false;
  }
  void scriptMatchesTheWindow() {
    QFETCH(bool, demoPrefix);
    CliScene window_scene;
    CliScene script_scene;
    std::vector<std::string> script;
    Game window_game;
    Game script_game;
    if (demoPrefix) {
      // Archives of both editions, a replaced file and icons.
      script = {"trooper-graphics.mpi", "civilisation-icons.mpi", "unit-names-language.mpi"};
      window_game.prefix = window_scene.prefix;
      script_game.prefix = script_scene.prefix;
    } else {
      script = {"everything.mpi", "language-again.mpi", "graphics-again.mpi"};
      for (CliScene* scene : {&window_scene, &script_scene}) {
        const std::vector<std::pair<std::string, std::string>> packages = {
            {"everything.mpi", SamplePackage()},
            {"language-again.mpi", PackageOf({Row(5, 6, 0, Pattern(3000, 40))}, "Language")},
            {"graphics-again.mpi",
             PackageOf({Row(1, 1, 101, Pattern(800, 41)), Row(2, 3, 5001, Pattern(90, 42))},
                       "Graphics and sound")}};
        for (const auto& [name, bytes] : packages) {
          QVERIFY(!fixtures::WriteHostFile(scene->Mod(name), bytes));
        }
      }
      window_game.folder = WriteCrashTestGame(window_scene.dir / "game");
      script_game.folder = WriteCrashTestGame(script_scene.dir / "game");
    }
    const std::string window_host = demoPrefix ? window_scene.GameHost() : window_game.folder;
    const std::string script_host = demoPrefix ? script_scene.GameHost() : script_game.folder;
    const Tree before = ReadTree(window_host);
    QCOMPARE(before, ReadTree(script_host));

    fixtures::RecordingMessages messages;
    ScriptedFileDialog dialog;
    QtSettings settings;
    SetGameLocation({.prefix = window_game.prefix, .game_folder = window_game.folder});
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

    std::vector<std::string> args = script_game.Args();
    for (const std::string& mod : script) {
      args.resize(2);
      args.insert(args.end(), {"install", "--yes", script_scene.Mod(mod)});
      QCOMPARE(script_scene.RunBare(args).status, 0);
    }
    args.resize(2);
    args.insert(args.end(), {"remove", "--yes"});
    QCOMPARE(script_scene.RunBare(args).status, 0);
    const Tree window_tree = ReadTree(window_host);
    QCOMPARE(window_tree, ReadTree(script_host));
    QCOMPARE(window_tree.count("Data/mods.log"), size_t{1});
    // Two mods stay installed: the comparison is not between two untouched games.
    QVERIFY(window_tree != before);
  }

  // As main() hands a package argument over: the title shows, Install is offered.
  void packageOpenedAsIfChosen() {
    CliScene scene;
    fixtures::RecordingMessages messages;
    ScriptedFileDialog dialog;
    QtSettings settings;
    SetGameLocation({.prefix = scene.prefix, .game_folder = {}});
    InstallerForm form(messages, dialog, settings, nullptr);
    QVERIFY(!form.Form_Load());
    form.show();
    form.OpenPackage("C:\\Mods\\blaster-sound.mpi");
    QCOMPARE(form.TitleBox()->text(), QStringLiteral("Louder blaster sound"));
    QVERIFY(form.InstallModButton()->isEnabled());
    QCOMPARE(settings.Get("Open", "Last directory", "<unset>"), std::string("C:\\Mods\\"));
    form.OpenPackage("C:\\Mods\\broken-package.mpi");
    QCOMPARE(form.TitleBox()->text(), QStringLiteral("[none]"));
    QCOMPARE(messages.Errors().size(), size_t{1});
    form.close();
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
