#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/installer_form.h"
#include "app_scene.h"
#include "writers/game_folder.h"
#include "platform/trace.h"

namespace tarnwick::testing {
namespace {

using Box = fixtures::RecordingMessages::Box;
using Kind = fixtures::RecordingMessages::Kind;

constexpr char kNoGame[] =
    "Unable to find SWGB! Please ensure that it is correctly installed and that it has been run "
    "at least once.";
constexpr char kNoBaseFiles[] =
    "Unable to find SWGB data files! Please ensure that the game is correctly installed.";
constexpr char kNoCcFiles[] =
    "Unable to find CC data files! Please ensure that the game is correctly installed.";

std::vector<std::string> g_trace;
void KeepTrace(std::string_view text) { g_trace.emplace_back(text); }

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    g_trace.clear();
    SetTraceSink(&KeepTrace);
  }
  void cleanup() { SetTraceSink(nullptr); }

  void findsCloneCampaigns() {
    Scene scene(Scene::BothKeys());
    QVERIFY(scene.InstallGame(true));
    auto form = scene.MakeForm();
    QVERIFY2(!form->Form_Load(), scene.Shown().constData());
    const InstallerState& state = form->State();
    QVERIFY(state.CCPresent);
    QCOMPARE(state.GamePath, Scene::GamePath());
    QCOMPARE(state.DataPath, Scene::GamePath() + "data\\");
    QCOMPARE(state.GameFiles[27], Scene::GamePath() + "Battlegrounds_x1.exe");
    QCOMPARE(state.ModLog.LogPath, Scene::GamePath() + "data\\mods.log");
    QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick (v0.81 - beta) - CC found"));
    QVERIFY(scene.messages.boxes.empty());
    QVERIFY(!form->isVisible());
    // The log is created on first start, in the data folder as it is spelt on disk.
    QVERIFY(std::filesystem::exists(scene.DataHost() + "/mods.log"));
    QCOMPARE(form->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(!form->RemoveButton()->isEnabled());

    QVERIFY(!g_trace.empty());
    const std::string& banner = g_trace.front();
    QVERIFY(banner.starts_with("####"));
    QVERIFY(banner.ends_with(" -- Starting mod installer"));
  }

  void fallsBackToTheBaseGame_data() {
    QTest::addColumn<QString>("ccPath");
    QTest::addColumn<bool>("ccFolderExists");
    QTest::newRow("cc folder empty") << QStringLiteral("C:\\Games\\Clone Campaigns\\") << true;
    QTest::newRow("cc folder gone") << QStringLiteral("C:\\Games\\Clone Campaigns\\") << false;
    QTest::newRow("cc path without backslash")
        << QString::fromStdString(Scene::GamePath()).chopped(1) << false;
    QTest::newRow("cc value empty") << QString() << false;
    QTest::newRow("cc value over 1023 characters")
        << QStringLiteral("C:\\") + QString(1100, QLatin1Char('x')) + QStringLiteral("\\") << false;
  }
  void fallsBackToTheBaseGame() {
    QFETCH(QString, ccPath);
    QFETCH(bool, ccFolderExists);
    fixtures::WinePrefixOptions registry = Scene::BothKeys();
    registry.cc_game_path = ccPath.toStdString();
    Scene scene(registry);
    QVERIFY(scene.InstallGame(false));
    if (ccFolderExists) fixtures::MakeFolders(scene.OnDriveC("Games\\Clone Campaigns"));

    auto form = scene.MakeForm();
    QVERIFY2(!form->Form_Load(), scene.Shown().constData());
    QVERIFY(!form->State().CCPresent);
    QCOMPARE(form->State().GamePath, Scene::GamePath());
    QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick (v0.81 - beta) - CC not found"));
    QVERIFY(scene.messages.boxes.empty());
  }

  void endsWhenTheGameIsNotFound_data() {
    QTest::addColumn<bool>("ccKey");
    QTest::addColumn<bool>("baseKey");
    QTest::addColumn<QString>("basePath");
    QTest::newRow("neither key") << false << false << QString();
    QTest::newRow("only an empty cc key") << true << false << QString();
    QTest::newRow("base path without backslash")
        << false << true << QString::fromStdString(Scene::GamePath()).chopped(1);
    QTest::newRow("base folder holds only folders")
        << false << true << QStringLiteral("C:\\Program Files\\LucasArts\\");
    QTest::newRow("base value over 1023 characters")
        << false << true
        << QStringLiteral("C:\\") + QString(1100, QLatin1Char('x')) + QStringLiteral("\\");
  }
  void endsWhenTheGameIsNotFound() {
    QFETCH(bool, ccKey);
    QFETCH(bool, baseKey);
    QFETCH(QString, basePath);
    fixtures::WinePrefixOptions registry;
    if (ccKey) registry.cc_game_path = "C:\\Nowhere\\";
    if (baseKey) registry.base_game_path = basePath.toStdString();
    Scene scene(registry);
    QVERIFY(scene.InstallGame(true));

    auto form = scene.MakeForm();
    QVERIFY(form->Form_Load());
    QCOMPARE(scene.messages.boxes, (std::vector<Box>{{Kind::kError, "Error", kNoGame}}));
    // The suffix comes before the check.
    QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick (v0.81 - beta) - CC not found"));
    QVERIFY(!form->isVisible());
    QCOMPARE(g_trace.back(), std::string("Couldn't find game path"));
    QVERIFY(!std::filesystem::exists(scene.DataHost() + "/mods.log"));
  }

  void endsOnTheFirstMissingFile_data() {
    QTest::addColumn<bool>("cloneCampaigns");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("message");
    QTest::newRow("first archive") << true << "Data/gamedata.drs" << kNoBaseFiles;
    QTest::newRow("game data") << false << "Data/genie.dat" << kNoBaseFiles;
    QTest::newRow("executable") << false << "Battlegrounds.exe" << kNoBaseFiles;
    QTest::newRow("language library") << true << "language.dll" << kNoBaseFiles;
    QTest::newRow("cc archive") << true << "Data/terrain_x1.drs" << kNoCcFiles;
    QTest::newRow("cc executable") << true << "Battlegrounds_x1.exe" << kNoCcFiles;
  }
  void endsOnTheFirstMissingFile() {
    QFETCH(bool, cloneCampaigns);
    QFETCH(QString, missing);
    QFETCH(QString, message);
    Scene scene(Scene::BothKeys());
    QVERIFY(scene.InstallGame(cloneCampaigns));
    QVERIFY(std::filesystem::remove(scene.GameHost() + "/" + missing.toStdString()));

    auto form = scene.MakeForm();
    QVERIFY(form->Form_Load());
    QCOMPARE(scene.messages.Errors(), std::vector<std::string>{message.toStdString()});
    QCOMPARE(g_trace.back(), std::string("Couldn't find DRS"));
    QVERIFY(!form->isVisible());
  }

  void ignoresCcFilesWithoutCloneCampaigns() {
    fixtures::WinePrefixOptions registry;
    registry.base_game_path = Scene::GamePath();
    Scene scene(registry);
    QVERIFY(scene.InstallGame(true));
    QVERIFY(std::filesystem::remove(scene.GameHost() + "/Battlegrounds_x1.exe"));
    auto form = scene.MakeForm();
    QVERIFY2(!form->Form_Load(), scene.Shown().constData());
    QVERIFY(scene.messages.boxes.empty());
  }

  void endsWhenTheLogCannotBeRead() {
    Scene scene(Scene::BothKeys());
    QVERIFY(scene.InstallGame(true));
    QVERIFY(scene.WriteFile(scene.DataHost() + "/mods.log", "not a log\r\n"));
    auto form = scene.MakeForm();
    QVERIFY(form->Form_Load());
    // Only the log's own message; none of start-up's.
    QCOMPARE(scene.messages.Errors().size(), size_t{1});
    for (const char* ours : {kNoGame, kNoBaseFiles, kNoCcFiles}) {
      QVERIFY(scene.messages.Errors().front() != ours);
    }
    QVERIFY(!form->isVisible());
  }
};

int RunStartupTests(int argc, char** argv) {
  StartupTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tarnwick::testing

#include "startup_test.moc"
