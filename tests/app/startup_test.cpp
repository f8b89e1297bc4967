#include <QTest>
#include <filesystem>

#include "app_scene.h"
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
constexpr char kNoKey[] = "<no key>";

std::vector<std::string> g_trace;
void KeepTrace(std::string_view text) { g_trace.emplace_back(text); }

std::optional<std::string> KeyValue(const QString& value) {
  if (value == kNoKey) return std::nullopt;
  return value.toStdString();
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    g_trace.clear();
    SetTraceSink(&KeepTrace);
  }
  void cleanup() { SetTraceSink(nullptr); }

  // The game is installed with Clone Campaigns files; only the registry differs.
  void findsTheGameFromTheRegistry_data() {
    QTest::addColumn<QString>("cc");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("found");  // "CC", "base" or "" (ends)
    const QString game = Scene::kGamePath;
    const QString unterminated = game.chopped(1);
    const QString overLong = "C:\\" + QString(1100, QLatin1Char('x')) + "\\";
    QTest::newRow("both keys") << game << game << "CC";
    QTest::newRow("cc folder empty") << "C:\\Games\\Clone Campaigns\\" << game << "base";
    QTest::newRow("cc folder gone") << "C:\\Games\\Gone\\" << game << "base";
    QTest::newRow("cc without backslash") << unterminated << game << "base";
    QTest::newRow("cc value empty") << "" << game << "base";
    QTest::newRow("cc value over 1023") << overLong << game << "base";
    QTest::newRow("only the base key") << kNoKey << game << "base";
    QTest::newRow("neither key") << kNoKey << kNoKey << "";
    QTest::newRow("only a cc key to nowhere") << "C:\\Nowhere\\" << kNoKey << "";
    QTest::newRow("base without backslash") << kNoKey << unterminated << "";
    QTest::newRow("base holds only folders") << kNoKey << "C:\\Program Files\\LucasArts\\"
                                             << "";
    QTest::newRow("base value over 1023") << kNoKey << overLong << "";
  }
  void findsTheGameFromTheRegistry() {
    QFETCH(QString, cc);
    QFETCH(QString, base);
    QFETCH(QString, found);
    Scene scene({.cc_game_path = KeyValue(cc), .base_game_path = KeyValue(base)});
    QVERIFY(scene.InstallGame(true));
    fixtures::MakeFolders(scene.OnDriveC("Games\\Clone Campaigns"));
    auto form = scene.MakeForm();
    const std::string log = scene.DataHost() + "/mods.log";

    QCOMPARE(form->Form_Load(), found.isEmpty());
    QVERIFY(!form->isVisible());
    QVERIFY(g_trace.front().starts_with("####"));
    QVERIFY(g_trace.front().ends_with(" -- Starting mod installer"));
    // The suffix is set before the game is looked for.
    QCOMPARE(form->windowTitle(), found == "CC" ? "Tarnwick (v0.81 - beta) - CC found"
                                                : "Tarnwick (v0.81 - beta) - CC not found");
    QCOMPARE(form->State().CCPresent, found == "CC");
    if (found.isEmpty()) {
      QCOMPARE(scene.messages.boxes, (std::vector<Box>{{Kind::kError, "Error", kNoGame}}));
      QCOMPARE(g_trace.back(), "Couldn't find game path");
      QVERIFY(!std::filesystem::exists(log));
      return;
    }
    QVERIFY(scene.messages.boxes.empty());
    QCOMPARE(form->State().GamePath, Scene::kGamePath);
    QCOMPARE(form->State().DataPath, Scene::kGamePath + std::string("data\\"));
    // Created on first start, in the data folder as it is spelt on disk.
    QVERIFY(std::filesystem::exists(log));
  }

  void endsOnTheFirstMissingFile_data() {
    QTest::addColumn<bool>("ccKey");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("message");  // empty: starts anyway
    QTest::newRow("first archive") << true << "Data/gamedata.drs" << kNoBaseFiles;
    QTest::newRow("game data") << false << "Data/genie.dat" << kNoBaseFiles;
    QTest::newRow("executable") << false << "Battlegrounds.exe" << kNoBaseFiles;
    QTest::newRow("language library") << true << "language.dll" << kNoBaseFiles;
    QTest::newRow("cc archive") << true << "Data/terrain_x1.drs" << kNoCcFiles;
    QTest::newRow("cc executable") << true << "Battlegrounds_x1.exe" << kNoCcFiles;
    QTest::newRow("cc executable, no cc key") << false << "Battlegrounds_x1.exe"
                                              << "";
  }
  void endsOnTheFirstMissingFile() {
    QFETCH(bool, ccKey);
    QFETCH(QString, missing);
    QFETCH(QString, message);
    fixtures::WinePrefixOptions registry = Scene::BothKeys();
    if (!ccKey) registry.cc_game_path.reset();
    Scene scene(registry);
    QVERIFY(scene.InstallGame(true));
    QVERIFY(std::filesystem::remove(scene.GameHost() + "/" + missing.toStdString()));

    auto form = scene.MakeForm();
    QCOMPARE(form->Form_Load(), !message.isEmpty());
    QVERIFY(!form->isVisible());
    QCOMPARE(scene.messages.boxes.size(), message.isEmpty() ? 0u : 1u);
    if (!message.isEmpty()) {
      QCOMPARE(scene.messages.Errors(), std::vector<std::string>{message.toStdString()});
      QCOMPARE(g_trace.back(), "Couldn't find DRS");
    }
  }

  void endsWhenTheLogCannotBeRead() {
    Scene scene(Scene::BothKeys());
    QVERIFY(scene.InstallGame(true));
    QVERIFY(!fixtures::WriteHostFile(scene.DataHost() + "/mods.log", "not a log\r\n"));
    auto form = scene.MakeForm();
    QVERIFY(form->Form_Load());
    QCOMPARE(scene.messages.Errors(),
             std::vector<std::string>{"Invalid log file! (it may have been created with a newer "
                                      "version of the mod installer)"});
    QVERIFY(!form->isVisible());
  }
};

int RunStartupTests(int argc, char** argv) {
  StartupTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tarnwick::testing

#include "startup_test.moc"
