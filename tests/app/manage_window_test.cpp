// Tools > Manage mods... on the demo game: the mods with their records, and the middle one
// removed after its plan was shown; a removal cut off is offered at the next start.

#include "app/manage_window.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include "app/installer_form.h"
#include "app/qt_services.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "fixtures/scripted_file_dialog.h"
#include "ledger/ledger.h"
#include "manage/install_package.h"
#include "manage/remove_any.h"
#include "platform/file_dialog.h"
#include "writers/sandbox.h"

namespace tarnwick::testing {
namespace {

using Tree = std::map<std::string, std::string>;

constexpr char kLanguage[] = "C:\\Mods\\unit-names-language.mpi";
constexpr char kTrooper[] = "C:\\Mods\\trooper-graphics.mpi";
constexpr char kBlaster[] = "C:\\Mods\\blaster-sound.mpi";

// The demo game in a fresh prefix, the only one the program can find.
struct DemoGame {
  DemoGame() : prefix(dir / "prefix") {
    fixtures::MakeFolders(dir / "home");
    ::setenv("HOME", (dir / "home").c_str(), 1);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    if (fixtures::WriteSandbox(prefix, {})) std::abort();
  }
  std::unique_ptr<InstallerForm> Start() {
    auto form = std::make_unique<InstallerForm>(messages, file_dialog, settings, nullptr);
    if (form->Form_Load()) return nullptr;
    return form;
  }
  // Starts the window and installs `mods` in turn; null when any of it fails.
  std::unique_ptr<InstallerForm> StartWith(std::initializer_list<const char*> mods) {
    auto form = Start();
    for (const char* mod : mods) {
      if (form != nullptr && !Install(*form, mod)) form.reset();
    }
    return form;
  }
  bool Install(InstallerForm& form, const char* package) {
    form.OpenPackage(package);
    const size_t boxes = messages.boxes.size();
    form.InstallModButton_Click();
    return messages.boxes.size() == boxes + 1 &&
           messages.boxes.back().text == "Mod installed successfully";
  }
  std::string GameHost() const {
    return prefix + "/drive_c/Program Files/LucasArts/Star Wars Galactic Battlegrounds";
  }
  // Every file of the game folder but Tarnwick's own records.
  Tree GameFiles() const {
    Tree tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(GameHost())) {
      const std::string name = std::filesystem::relative(entry.path(), GameHost()).generic_string();
      if (entry.is_regular_file() && !name.starts_with("Data/tarnwick/")) {
        tree[name] = fixtures::ReadAll(entry.path().string());
      }
    }
    return tree;
  }

  fixtures::TempDir dir;
  std::string prefix;
  fixtures::RecordingMessages messages;
  fixtures::ScriptedFileDialog file_dialog;  // cancels unless told otherwise
  QtSettings settings;
};

// The game files after installing `mods` alone on a fresh demo game; empty when that fails.
Tree InstalledAlone(std::initializer_list<const char*> mods) {
  DemoGame alone;
  return alone.StartWith(mods) != nullptr ? alone.GameFiles() : Tree{};
}

}  // namespace

class ManageWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void listsTheModsAndRemovesTheMiddleOneAsPlanned() {
    const Tree alone = InstalledAlone({kLanguage, kBlaster});
    QVERIFY(!alone.empty());
    DemoGame game;
    auto form = game.StartWith({kLanguage, kTrooper, kBlaster});
    QVERIFY(form != nullptr);

    QAction* manage = form->MenuToolsManage();
    QCOMPARE(manage->text(), QStringLiteral("Manage mods..."));
    QCOMPARE(manage->parent()->objectName(), QStringLiteral("menu_tools"));

    ManageWindow window(form->State(), game.messages, game.file_dialog, game.settings, nullptr);
    QTreeWidget* list = window.ModList();
    QCOMPARE(list->topLevelItemCount(), 3);
    const QStringList titles = {QStringLiteral("Louder blaster sound"),
                                QStringLiteral("Striped trooper graphics"),
                                QStringLiteral("New unit names (language library)")};
    for (int row = 0; row < 3; ++row) {
      const QTreeWidgetItem* item = list->topLevelItem(row);
      QCOMPARE(item->text(0), titles[row]);
      QVERIFY(item->text(1).endsWith(QLatin1Char('Z')));  // the UTC install time
      QCOMPARE(item->text(3), QStringLiteral("kept"));
      QCOMPARE(item->text(4), QStringLiteral("complete"));
      QCOMPARE(window.NumberOfRow(row), 3 - row);
    }
    QCOMPARE(list->topLevelItem(2)->text(2), QStringLiteral("1"));  // one replaced file
    QVERIFY(!window.RemoveButton()->isEnabled());

    list->setCurrentItem(list->topLevelItem(1));
    QVERIFY(window.RemoveButton()->isEnabled());
    const size_t boxes = game.messages.boxes.size();
    window.RemoveButton()->click();
    QCOMPARE(game.messages.boxes.size(), boxes + 1);
    const auto& question = game.messages.boxes.back();
    QCOMPARE(question.kind, fixtures::RecordingMessages::Kind::kConfirm);
    QVERIFY2(question.text.starts_with("Takes off Louder blaster sound, removes Striped trooper "
                                       "graphics, puts back Louder blaster sound.\nWrites "),
             question.text.c_str());
    QVERIFY(question.text.ends_with("Do you wish to continue?"));

    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), titles[0]);
    QCOMPARE(list->topLevelItem(1)->text(0), titles[2]);
    QCOMPARE(form->State().ModLog.ModCount(), 2);
    QVERIFY(game.GameFiles() == alone);
  }

  void aDeclinedPlanWritesNothing() {
    DemoGame game;
    auto form = game.StartWith({kLanguage, kTrooper});
    QVERIFY(form != nullptr);
    const Tree before = game.GameFiles();
    ManageWindow window(form->State(), game.messages, game.file_dialog, game.settings, nullptr);
    window.ModList()->setCurrentItem(window.ModList()->topLevelItem(1));
    game.messages.answers.push_back(false);
    window.RemoveButton()->click();
    QCOMPARE(window.ModList()->topLevelItemCount(), 2);
    QVERIFY(game.GameFiles() == before);
  }

  // The packages of the mods to put back are gone: the player chooses their files. A file that
  // is not the mod's package is refused with nothing written; the right ones are taken.
  void aModWithoutItsKeptPackageGoesBackFromTheFileChosen() {
    const Tree alone = InstalledAlone({kTrooper, kBlaster});
    QVERIFY(!alone.empty());
    DemoGame game;
    auto form = game.StartWith({kLanguage, kTrooper, kBlaster});
    QVERIFY(form != nullptr);
    std::filesystem::remove_all(game.GameHost() + "/Data/tarnwick/packages");
    ManageWindow window(form->State(), game.messages, game.file_dialog, game.settings, nullptr);
    QCOMPARE(window.ModList()->topLevelItem(0)->text(3), QStringLiteral("package not kept"));
    window.ModList()->setCurrentItem(window.ModList()->topLevelItem(2));
    const Tree before = game.GameFiles();

    game.file_dialog.answers = {kLanguage, kBlaster};
    size_t boxes = game.messages.boxes.size();
    window.RemoveButton()->click();
    QCOMPARE(game.messages.boxes.size(), boxes + 2);
    QVERIFY2(game.messages.boxes[boxes].text.starts_with(
                 "The package of Striped trooper graphics and Louder blaster sound is not kept."),
             game.messages.boxes[boxes].text.c_str());
    QCOMPARE(game.messages.boxes.back().kind, fixtures::RecordingMessages::Kind::kPlain);
    QVERIFY2(game.messages.boxes.back().text.ends_with(
                 "C:\\Mods\\unit-names-language.mpi is not the package of Striped trooper "
                 "graphics: installing it would not make the changes the log holds for that mod."),
             game.messages.boxes.back().text.c_str());
    QCOMPARE(game.file_dialog.requests.size(), size_t{2});
    QCOMPARE(game.file_dialog.requests[0].title, "Select the package of Striped trooper graphics");
    QCOMPARE(game.file_dialog.requests[1].filter_pattern, "*.MPI");
    QVERIFY(game.GameFiles() == before);

    // A cancelled dialog ends it too, before anything is written.
    window.ModList()->setCurrentItem(window.ModList()->topLevelItem(2));
    window.RemoveButton()->click();
    QCOMPARE(game.file_dialog.requests.size(), size_t{3});
    QVERIFY(game.GameFiles() == before);

    window.ModList()->setCurrentItem(window.ModList()->topLevelItem(2));
    game.file_dialog.answers = {kTrooper, kBlaster};
    boxes = game.messages.boxes.size();
    window.RemoveButton()->click();
    QCOMPARE(game.messages.boxes.size(), boxes + 2);
    QVERIFY(game.messages.boxes.back().text.starts_with("Takes off Louder blaster sound and "));
    QCOMPARE(window.ModList()->topLevelItemCount(), 2);
    QVERIFY(game.GameFiles() == alone);
    // Kept as every installed mod's package is.
    for (int row = 0; row < 2; ++row) {
      QCOMPARE(window.ModList()->topLevelItem(row)->text(3), QStringLiteral("kept"));
    }
  }

  // Cut off after the newest mod came off: the next start asks, and finishing gives the same
  // game as a removal that was never cut.
  void theNextStartOffersToFinishARemovalCutOff() {
    const Tree alone = InstalledAlone({kTrooper, kBlaster});
    QVERIFY(!alone.empty());
    DemoGame game;
    {
      auto form = game.StartWith({kLanguage, kTrooper, kBlaster});
      QVERIFY(form != nullptr);
      InstallerState& state = form->State();
      const LedgerPaths paths = LedgerPathsFor(state.ModLog.LogPath);
      Ledger ledger;
      QCOMPARE(LoadLedger(paths, ledger), LedgerLoad::kLoaded);
      const RemovalPlan plan =
          PlanRemoval(state.ModLog, state.GameFiles, state.CCPresent, ledger, 1);
      QVERIFY(plan.Ok());
      ledger.plan = PlanText(plan, 0);
      QVERIFY(!SaveLedger(paths, ledger));
      // The first step ran; its progress never reached the ledger.
      RemoveLatest(state.ModLog, state.GameFiles, game.messages);
    }
    const size_t boxes = game.messages.boxes.size();
    auto form = game.Start();
    QVERIFY(form != nullptr);
    QCOMPARE(game.messages.boxes.size(), boxes + 1);
    QVERIFY2(game.messages.boxes.back().text.starts_with(
                 "Removing New unit names (language library) was cut off before it finished."),
             game.messages.boxes.back().text.c_str());
    QCOMPARE(form->State().ModLog.ModCount(), 2);
    QVERIFY(game.GameFiles() == alone);
    // Asked once: the plan is gone.
    PendingRemoval pending;
    QVERIFY(!FindPendingRemoval(form->State().ModLog.LogPath, pending));
  }
};

int RunManageWindowTests(int argc, char** argv) {
  ManageWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tarnwick::testing

#include "manage_window_test.moc"
