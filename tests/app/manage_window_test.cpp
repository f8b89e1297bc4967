// Tools > Manage mods... on the demo game: the mods with their records, and the middle one
// removed after its plan was shown; a removal cut off is offered at the next start. And "What it
// changes…" for a chosen package and for an installed mod.

#include "app/manage_window.h"

#include <QAction>
#include <QLabel>
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

#include "app/changes_window.h"
#include "app/installer_form.h"
#include "app/qt_services.h"
#include "app/readme_form.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "fixtures/scripted_file_dialog.h"
#include "ledger/ledger.h"
#include "manage/install_package.h"
#include "manage/remove_any.h"
#include "platform/file_dialog.h"
#include "writers/mpi_writer.h"
#include "writers/sandbox.h"

namespace tarnwick::testing {
namespace {

using Tree = std::map<std::string, std::string>;

constexpr char kLanguage[] = "C:\\Mods\\unit-names-language.mpi";
constexpr char kTrooper[] = "C:\\Mods\\trooper-graphics.mpi";
constexpr char kBlaster[] = "C:\\Mods\\blaster-sound.mpi";
constexpr char kRival[] = "C:\\Mods\\rival-trooper.mpi";

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

  // A package beside the sample mods, by its file name in C:\\Mods.
  void WriteMod(const std::string& name, const fixtures::MpiPackage& package) const {
    fixtures::WriteAll(prefix + "/drive_c/Mods/" + name, fixtures::BuildMpi(package));
  }

  fixtures::TempDir dir;
  std::string prefix;
  fixtures::RecordingMessages messages;
  fixtures::ScriptedFileDialog file_dialog;  // cancels unless told otherwise
  QtSettings settings;
};

// The changes window's cells of one row, by column.
QStringList RowTexts(const ChangesWindow& window, int row) {
  QStringList texts;
  for (size_t column = 0; column < kColumnCount; ++column) {
    texts << window.Table()->topLevelItem(row)->text(static_cast<int>(column));
  }
  return texts;
}

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

  // A rival of the trooper graphics: one picture of its own, one the same as the installed mod's,
  // a language library over the installed one, a new sound, and an id the archive lacks.
  void showsThePlanWithWhomItMeetsThenWhatOverridesAnInstalledMod() {
    DemoGame game;
    auto form = game.Start();
    QVERIFY(form != nullptr);
    QVERIFY(!form->MenuToolsChanges()->isEnabled());
    QCOMPARE(form->MenuToolsChanges()->text(), QStringLiteral("What it changes\u2026"));
    for (const char* mod : {kTrooper, kLanguage}) QVERIFY(game.Install(*form, mod));
    fixtures::MpiPackage rival;
    rival.title = "Rival trooper";
    for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
      if (mod.file_name == "trooper-graphics.mpi") {
        rival.rows = {{1, 1, 100, "a rival picture", {}, {}}, mod.package.rows[1]};
      }
    }
    rival.rows.push_back({5, 6, 0, std::string(2000, 'L'), {}, {}});
    rival.rows.push_back({2, 3, 5000, std::string(300, 'S'), {}, {}});
    rival.rows.push_back({1, 1, 424242, "no such id", {}, {}});
    game.WriteMod("rival-trooper.mpi", rival);
    form->OpenPackage(kRival);
    QVERIFY(form->MenuToolsChanges()->isEnabled());
    QVERIFY(form->Readme()->ChangesButton()->isEnabled());

    form->Readme()->ChangesButton()->click();
    ChangesWindow* window = form->Changes();
    QVERIFY(window != nullptr && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("What it changes: Rival trooper"));
    QCOMPARE(window->Table()->topLevelItemCount(), 5);
    const QString trooper = QStringLiteral("Striped trooper graphics");
    const QString language = QStringLiteral("New unit names (language library)");
    struct Expected {
      QString row, what, file, id, size, provider, status;
      RowMark mark;
    };
    const std::vector<Expected> expected = {
        {"1", "resource", "graphics.drs", "100", "15", trooper, "overrides \"" + trooper + "\"",
         RowMark::kConflict},
        {"2", "resource", "graphics.drs", "1000", QString::number(rival.rows[1].payload.size()),
         trooper, "identical", RowMark::kIdentical},
        {"3", "file", "language.dll", "", "2000", language, "overrides \"" + language + "\"",
         RowMark::kConflict},
        {"4", "resource", "sounds.drs", "5000", "300", "game", "new", RowMark::kPlain},
        {"5", "refused", "graphics_x1.drs", "424242", "", "", "refused: invalid",
         RowMark::kRefused},
    };
    for (int row = 0; row < 5; ++row) {
      const QStringList cells = RowTexts(*window, row);
      const Expected& e = expected[static_cast<size_t>(row)];
      QCOMPARE(
          (QStringList{cells[kColumnRow], cells[kColumnWhat], cells[kColumnFile], cells[kColumnId],
                       cells[kColumnSize], cells[kColumnProvider], cells[kColumnStatus]}),
          (QStringList{e.row, e.what, e.file, e.id, e.size, e.provider, e.status}));
      QCOMPARE(window->MarkOf(row), e.mark);
    }
    // A replaced file names the backup it makes; an archive change the offset its bytes land at.
    QCOMPARE(RowTexts(*window, 2)[kColumnNewPlace], QStringLiteral("backup 001"));
    QVERIFY(RowTexts(*window, 0)[kColumnNewPlace].toLongLong() > 0);
    QVERIFY2(window->Totals()->text().startsWith(
                 "4 changes, 2 override installed mods, 1 identical\nAppended: graphics.drs "),
             qPrintable(window->Totals()->text()));
    QVERIFY(window->Totals()->text().endsWith("The install stops at row 5."));

    // Sizes sort as numbers, the refused row's empty cell first.
    window->Table()->sortByColumn(kColumnSize, Qt::AscendingOrder);
    QCOMPARE(RowTexts(*window, 0)[kColumnRow], QStringLiteral("5"));
    for (int row = 2; row < 5; ++row) {
      QVERIFY(RowTexts(*window, row - 1)[kColumnSize].toLongLong() <=
              RowTexts(*window, row)[kColumnSize].toLongLong());
    }

    // Installed, it stops at the refused row; the trooper mod's pictures are overridden now.
    form->InstallModButton_Click();
    QVERIFY(form->MenuToolsChanges()->isEnabled());  // the package is still chosen
    ManageWindow manage(form->State(), game.messages, game.file_dialog, game.settings, nullptr);
    QVERIFY(!manage.ChangesButton()->isEnabled());
    manage.ModList()->setCurrentItem(manage.ModList()->topLevelItem(2));
    manage.ChangesButton()->click();
    ChangesWindow* changed = manage.Changes();
    QVERIFY(changed != nullptr && changed->isVisible());
    QCOMPARE(changed->windowTitle(), "What it changes: " + trooper);
    QCOMPARE(changed->Table()->topLevelItemCount(), 2);
    for (int row = 0; row < 2; ++row) {
      const QStringList cells = RowTexts(*changed, row);
      QCOMPARE(cells[kColumnId], row == 0 ? QStringLiteral("100") : QStringLiteral("1000"));
      QCOMPARE(cells[kColumnTable], QStringLiteral("slp"));
      QCOMPARE(cells[kColumnStatus],
               QStringLiteral("overridden by \"Rival trooper (incomplete)\""));
      QCOMPARE(changed->MarkOf(row), RowMark::kOverridden);
    }
    QVERIFY(changed->Totals()->text().startsWith("2 changes, 2 overridden by later changes"));
    // So is the language library the mod after it replaced.
    manage.ModList()->setCurrentItem(manage.ModList()->topLevelItem(1));
    manage.ChangesButton()->click();
    QCOMPARE(RowTexts(*changed, 0)[kColumnStatus],
             QStringLiteral("overridden by \"Rival trooper (incomplete)\""));

    // A package installed in full is no longer offered.
    form->OpenPackage(kBlaster);
    QVERIFY(form->MenuToolsChanges()->isEnabled());
    form->InstallModButton_Click();
    QVERIFY(!form->MenuToolsChanges()->isEnabled());
    QVERIFY(!form->Readme()->ChangesButton()->isEnabled());
    QVERIFY(!window->isVisible());
  }
};

int RunManageWindowTests(int argc, char** argv) {
  ManageWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tarnwick::testing

#include "manage_window_test.moc"
