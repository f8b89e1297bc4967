// The windows under Qt Test, on real game folders in a Wine-style prefix: start-up, the main
// window and the readme window as the player meets them, and the Tools menu's windows. The
// operations' own rules are proven in the manage room; the Tools windows' tests prove they present
// them: texts, rows, enabled states, the questions asked. The boxes and the file dialog are fakes,
// the settings the real store under a temporary config folder.

#include <stdlib.h>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/changes_window.h"
#include "app/choose_game_dialog.h"
#include "app/fitting_label.h"
#include "app/installer_form.h"
#include "app/manage_window.h"
#include "app/qt_services.h"
#include "app/readme_form.h"
#include "app/twips.h"
#include "app/verify_window.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "fixtures/scripted_file_dialog.h"
#include "ledger/ledger.h"
#include "manage/install_package.h"
#include "manage/remove_any.h"
#include "platform/file_dialog.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"
#include "writers/sandbox.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick::testing {
namespace {

using Box = fixtures::RecordingMessages::Box;
using Kind = fixtures::RecordingMessages::Kind;

constexpr char kLanguage[] = "C:\\Mods\\unit-names-language.mpi";
constexpr char kTrooper[] = "C:\\Mods\\trooper-graphics.mpi";
constexpr char kBlaster[] = "C:\\Mods\\blaster-sound.mpi";

// A package of one graphic that graphics.drs has.
fixtures::MpiPackage Package(const std::string& title, const std::string& readme) {
  fixtures::MpiPackage package;
  package.title = title;
  package.readme = readme;
  package.rows = {{1, 1, 100, "new graphic bytes", {}, {}}};
  return package;
}

// Hands the next modal window of type `Dialog` to `answer` once it shows; `shown` tells whether
// one did (within a second). The watch ends with `context`.
template <typename Dialog>
void WhenShown(QObject* context, std::function<void(Dialog*)> answer, bool* shown = nullptr) {
  if (shown != nullptr) *shown = false;
  auto* timer = new QTimer(context);
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, answer, shown] {
    if (auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
        dialog != nullptr && dialog->isVisible()) {
      timer->stop();
      timer->deleteLater();
      if (shown != nullptr) *shown = true;
      answer(dialog);
    } else if (++*tries > 100) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

// The game with Clone Campaigns and the sample mods in C:\Mods, in ~/.wine of a fresh HOME with
// the keys `cc` and `base` (empty: none), named by WINEPREFIX; nothing remembered.
struct Scene {
  static constexpr const char* kGamePath = fixtures::kGameFolderPath;

  explicit Scene(const QString& cc = kGamePath, const QString& base = kGamePath)
      : prefix(dir / "home/.wine") {
    const auto key = [](const QString& path) {
      return path.isEmpty() ? std::nullopt : std::optional(path.toStdString());
    };
    ::setenv("HOME", (dir / "home").c_str(), 1);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    if (fixtures::WriteWinePrefix(prefix, {.cc_game_path = key(cc), .base_game_path = key(base)}) ||
        fixtures::WriteGameFolder(GameHost(), {}))
      std::abort();
    for (const fixtures::SampleMod& mod : fixtures::SampleMods())
      WriteMod(mod.file_name, mod.package);
    QSettings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick")).clear();
  }

  std::string OnDriveC(const std::string& relative) const {
    return prefix + "/drive_c/" + relative;
  }
  std::string GameHost(const std::string& in_prefix = {}) const {
    return (in_prefix.empty() ? prefix : in_prefix) +
           "/drive_c/Program Files/LucasArts/Star Wars Galactic Battlegrounds";
  }
  std::string LogHost(const std::string& in_prefix = {}) const {
    return GameHost(in_prefix) + "/" + fixtures::kDataFolderOnDisk + "/mods.log";
  }
  // Writes the package at C:\Mods\<name> and returns its program path.
  std::string WriteMod(const std::string& name, const fixtures::MpiPackage& package) const {
    return fixtures::WriteHostFile(OnDriveC("Mods/" + name), fixtures::BuildMpi(package))
               ? "<unwritten>"
               : "C:\\Mods\\" + name;
  }
  std::unique_ptr<InstallerForm> MakeForm() {
    return std::make_unique<InstallerForm>(messages, file_dialog, settings, nullptr);
  }
  // The window after its start; null when the start failed.
  std::unique_ptr<InstallerForm> Start() {
    auto form = MakeForm();
    return form->Form_Load() ? nullptr : std::move(form);
  }
  // The package chosen and installed through the window; false unless that succeeded.
  bool Install(InstallerForm& form, const std::string& package) {
    form.OpenPackage(package);
    const size_t before = messages.boxes.size();
    form.InstallModButton_Click();
    return messages.boxes.size() == before + 1 &&
           messages.boxes.back().text == "Mod installed successfully";
  }
  std::string Remembered() { return settings.Get("Open", "Last directory", "<unset>"); }

  fixtures::TempDir dir;
  std::string prefix;
  fixtures::RecordingMessages messages;
  fixtures::ScriptedFileDialog file_dialog;  // cancels unless told otherwise
  QtSettings settings;
};

constexpr char kNoGame[] =
    "Unable to find SWGB! Please ensure that it is correctly installed and that it has been run "
    "at least once. If it is installed in a Wine prefix of its own, start the installer with "
    "WINEPREFIX set to that prefix.";
constexpr char kNoBaseFiles[] =
    "Unable to find SWGB data files! Please ensure that the game is correctly installed.";
constexpr char kNoCcFiles[] =
    "Unable to find CC data files! Please ensure that the game is correctly installed.";

// Picks `row` in the next choose-game dialog (none: cancels it) and keeps what it offered.
struct Chooser {
  void Answer(std::optional<int> row) {
    WhenShown<ChooseGameDialog>(
        &context,
        [this, row](ChooseGameDialog* dialog) {
          offered.clear();
          for (int i = 0; i < dialog->List()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = dialog->List()->topLevelItem(i);
            offered << item->text(0) + " " + item->text(1);
          }
          selected = dialog->List()->indexOfTopLevelItem(dialog->List()->currentItem());
          if (!row) return dialog->reject();
          dialog->List()->setCurrentItem(dialog->List()->topLevelItem(*row));
          dialog->accept();
        },
        &asked);
  }
  QStringList offered;
  int selected = -1;
  bool asked = false;
  QObject context;
};

// The changes window's cells of one row, by column.
QStringList RowTexts(const ChangesWindow& window, int row) {
  QStringList texts;
  for (size_t column = 0; column < kColumnCount; ++column) {
    texts << window.Table()->topLevelItem(row)->text(static_cast<int>(column));
  }
  return texts;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  // The game is installed with Clone Campaigns files; the registry (`no`: no key) or a missing
  // file decides. Of the files, the first and last of each set (in the data and the game folder).
  void findsTheGameAndItsFiles_data() {
    QTest::addColumn<QString>("cc");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<bool>("ccFound");
    QTest::addColumn<QString>("error");  // empty: starts
    const QString game = Scene::kGamePath, unterminated = game.chopped(1), no, none;
    QTest::newRow("both keys") << game << game << none << true << none;
    QTest::newRow("cc folder empty")
        << "C:\\Games\\Clone Campaigns\\" << game << none << false << none;
    QTest::newRow("cc without backslash") << unterminated << game << none << false << none;
    QTest::newRow("only the base key") << no << game << none << false << none;
    QTest::newRow("neither key") << no << no << none << false << kNoGame;
    QTest::newRow("only a cc key to nowhere") << "C:\\Nowhere\\" << no << none << false << kNoGame;
    QTest::newRow("base without backslash") << no << unterminated << none << false << kNoGame;
    QTest::newRow("base holds only folders")
        << no << "C:\\Program Files\\LucasArts\\" << none << false << kNoGame;
    QTest::newRow("base value over 1023")
        << no << "C:\\" + QString(1100, 'x') + "\\" << none << false << kNoGame;
    QTest::newRow("first archive") << game << game << "Data/gamedata.drs" << true << kNoBaseFiles;
    QTest::newRow("executable") << no << game << "Battlegrounds.exe" << false << kNoBaseFiles;
    QTest::newRow("cc archive") << game << game << "Data/gamedata_x1.drs" << true << kNoCcFiles;
    QTest::newRow("cc executable") << game << game << "Battlegrounds_x1.exe" << true << kNoCcFiles;
    QTest::newRow("cc executable, no cc key")
        << no << game << "Battlegrounds_x1.exe" << false << none;
  }
  void findsTheGameAndItsFiles() {
    QFETCH(QString, cc);
    QFETCH(QString, base);
    QFETCH(QString, missing);
    QFETCH(bool, ccFound);
    QFETCH(QString, error);
    Scene scene(cc, base);
    fixtures::MakeFolders(scene.OnDriveC("Games/Clone Campaigns"));
    if (!missing.isEmpty()) {
      QVERIFY(std::filesystem::remove(scene.GameHost() + "/" + missing.toStdString()));
    }
    auto form = scene.MakeForm();
    QCOMPARE(form->Form_Load(), !error.isEmpty());
    // The suffix is set before the game is looked for.
    QCOMPARE(form->windowTitle(), ccFound ? "Tarnwick (v0.81 - beta) - CC found"
                                          : "Tarnwick (v0.81 - beta) - CC not found");
    QCOMPARE(form->State().CCPresent, ccFound);
    const std::vector<Box> boxes = {{Kind::kError, "Error", error.toStdString()}};
    QCOMPARE(scene.messages.boxes, error.isEmpty() ? std::vector<Box>{} : boxes);
    // Created on first start, in the data folder as it is spelt on disk.
    QCOMPARE(std::filesystem::exists(scene.LogHost()), error.isEmpty());
    if (!error.isEmpty()) return;
    QCOMPARE(form->State().GamePath, Scene::kGamePath);
    QCOMPARE(form->State().DataPath, Scene::kGamePath + std::string("data\\"));
  }

  // With the real boxes: before the window ever shows, they sit in the middle of the screen, and
  // they show their text as it is; a choice has one button each, Escape gives the default.
  void showsRealBoxesCentredAsPlainText() {
    Scene scene("", "");
    QtMessages messages;
    InstallerForm form(messages, scene.file_dialog, scene.settings, nullptr);
    messages.SetOwner(&form);
    form.move(0, 0);
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QPoint centre;
    bool shown = false;
    QObject context;
    WhenShown<QMessageBox>(
        &context,
        [&](QMessageBox* box) {
          text = box->text();
          format = box->textFormat();
          centre = box->frameGeometry().center();
          box->accept();
        },
        &shown);
    QVERIFY(form.Form_Load());
    QVERIFY(shown);
    QCOMPARE(text, QString::fromLatin1(kNoGame));
    QCOMPARE(format, Qt::PlainText);
    const QPoint screen = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2((centre - screen).manhattanLength() <= 4,
             qPrintable(QStringLiteral("box centred at %1,%2").arg(centre.x()).arg(centre.y())));

    QStringList buttons;
    const auto answer = [&](const QString& click) {
      WhenShown<QMessageBox>(&context, [&, click](QMessageBox* box) {
        for (QAbstractButton* button : box->buttons()) buttons << button->text();
        format = box->textFormat();
        for (QAbstractButton* button : box->buttons()) {
          if (button->text() == click) return button->click();
        }
        QTest::keyClick(box, Qt::Key_Escape);
      });
    };
    const std::vector<std::string> choices = {"Cancel", "Start over", "Carry on"};
    answer("Start over");
    format = Qt::AutoText;
    QCOMPARE(messages.Choose("Game files changed", "<b>graphics.drs</b>", choices, 0), 1);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(buttons.size(), 3);
    answer({});
    QCOMPARE(messages.Choose("Game files changed", "text", choices, 0), 0);
  }
};

// The main window after a successful start on a game with Clone Campaigns.
class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Scene> scene_;
  std::unique_ptr<InstallerForm> form_;

  void ShowResized(int inner_width_px, int inner_height_px) {
    const QSize frame = form_->size() - form_->centralWidget()->size();
    form_->resize(QSize(inner_width_px, inner_height_px) + frame);
    QCoreApplication::processEvents();
    QCOMPARE(form_->centralWidget()->size(), QSize(inner_width_px, inner_height_px));
  }
  int ListWidth() const { return PlacedAt(form_->ModsInstalledBox()).width; }
  int RemoveTop() const { return PlacedAt(form_->RemoveButton()).top; }

  void Choose(const std::optional<std::string>& path) {
    scene_->file_dialog.answer = path;
    form_->OpenModButton()->click();
  }
  QString ReadmeShown() const {
    return form_->Readme() == nullptr ? QString() : form_->Readme()->ReadmeText()->toPlainText();
  }
  // Title box, Install and Readme buttons as they stand.
  void ExpectOffered(const QString& title) {
    QCOMPARE(form_->TitleBox()->text(), title.isEmpty() ? QStringLiteral("[none]") : title);
    QCOMPARE(form_->InstallModButton()->isEnabled(), !title.isEmpty());
    QCOMPARE(form_->ReadmeButton()->isEnabled(), !title.isEmpty());
    QCOMPARE(form_->InstallModButton()->text(), QStringLiteral("Install"));
  }

 private slots:
  void init() {
    scene_ = std::make_unique<Scene>();
    QVERIFY((form_ = scene_->Start()) != nullptr);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() { form_.reset(), scene_.reset(); }

  void startsAsDesigned() {
    QCOMPARE(form_->centralWidget()->size(), QSize(424, 231));
    const std::pair<QWidget*, TwipRect> design[] = {
        {form_->OpenModButton(), {120, 120, 1095, 375}},
        {form_->InstallModButton(), {120, 480, 1095, 375}},
        {form_->ReadmeButton(), {1440, 120, 1095, 735}},
        {form_->Labels(1), {120, 960, 1455, 240}},
        {form_->TitleBox(), {240, 1200, 2295, 840}},
    };
    for (const auto& [control, rect] : design) QCOMPARE(PlacedAt(control), rect);
    QCOMPARE(form_->ReadmeButton()->geometry(), QRect(96, 8, 73, 49));  // in pixels
    // The heading keeps its place and grows to fit its text.
    const TwipRect heading = PlacedAt(form_->Labels(0));
    QCOMPARE(QRect(heading.left, heading.top, 0, heading.height), QRect(2760, 120, 0, 255));
    QVERIFY(heading.width >= 1455 &&
            ToPixels(heading.width) >= form_->Labels(0)->sizeHint().width());
    QCOMPARE(form_->Line1()->geometry().topLeft(), QPoint(176, 8));
    QVERIFY(form_->OpenModButton()->isEnabled() && !form_->RemoveButton()->isEnabled());
    ExpectOffered({});
    // One menu beside Exit and Help; Help and About answer with their boxes, Exit closes.
    QStringList bar, tools;
    for (QAction* action : form_->menuBar()->actions()) bar << action->text();
    for (QAction* action : form_->MenuTools()->actions()) tools << action->text();
    QCOMPARE(bar, (QStringList{"Exit", "Tools", "Help"}));
    QCOMPARE(form_->MenuTools()->objectName(), QStringLiteral("menu_tools"));
    QCOMPARE(form_->MenuTools()->actions(),
             (QList<QAction*>{form_->MenuToolsChooseGame(), form_->MenuToolsManage(),
                              form_->MenuToolsVerify(), form_->MenuToolsChanges()}));
    QCOMPARE(tools, (QStringList{"Choose game\u2026", "Manage mods...", "Verify game files",
                                 "What it changes\u2026"}));
    for (QAction* item : {form_->MenuHelpHelp(), form_->MenuHelpAbout(), form_->MenuExit()})
      item->trigger();
    const auto& boxes = scene_->messages.boxes;
    QVERIFY(boxes.size() == 2 && boxes[0].title == "Help" && boxes[1].title == "About");
    QVERIFY(boxes[0].kind == Kind::kInformation && boxes[1].kind == Kind::kInformation);
    QVERIFY(!form_->isVisible());
  }

  void listsModsNewestFirst() {
    const int outer_width = ToTwips(form_->frameGeometry().width());
    form_->UpdateModBox();
    const TwipRect empty = PlacedAt(form_->ModsInstalledBox());
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QCOMPARE(empty.width, outer_width - 2800);
    QCOMPARE(RemoveTop(), empty.top + empty.height);

    ModLog& log = form_->State().ModLog;
    for (const char* name : {"Oldest", "Middle", "Newest \xE9"})
      log.Mods.push_back({.Name = name, .Changes = {}});
    form_->UpdateModBox();
    // Each name on its line, and no empty line under the last one.
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Newest \u00E9\nMiddle\nOldest"));
    QVERIFY(form_->RemoveButton()->isEnabled());
    const TwipRect three = PlacedAt(form_->ModsInstalledBox());
    QCOMPARE(three.height, FittedHeight(form_->ModsInstalledBox(), three.width));
    QVERIFY(three.height >= 3 * empty.height && three.height < 4 * empty.height);
    QCOMPARE(RemoveTop(), three.top + three.height);

    // A list longer than the window: the button stays inside it.
    for (int i = 0; i < 60; ++i)
      log.Mods.push_back({.Name = "Mod " + std::to_string(i), .Changes = {}});
    form_->UpdateModBox();
    QCOMPARE(RemoveTop(), ToTwips(form_->frameGeometry().height()) - 375);
    // Until it is painted, the list is fitted only as far as the window reaches.
    QLabel* list = form_->ModsInstalledBox();
    const TwipRect first = PlacedAt(list);
    QVERIFY(ToPixels(first.height) > form_->frameGeometry().height());
    QVERIFY(first.height < FittedHeight(list, first.width));
    QCOMPARE(list->geometry().bottom() + 1, 231);
    // Then it keeps the height of all its names; only what lies inside the window is painted,
    // and growing the window (even at a width the list keeps) shows more of it.
    QTRY_COMPARE(PlacedAt(list).height, FittedHeight(list, first.width));
    const TwipRect long_list = PlacedAt(list);
    QCOMPARE(RemoveTop(), ToTwips(form_->frameGeometry().height()) - 375);
    QCOMPARE(form_->ModsInstalledBox()->geometry().bottom() + 1, 231);
    ShowResized(200, 600);
    QCOMPARE(PlacedAt(form_->ModsInstalledBox()), long_list);
    QCOMPARE(form_->ModsInstalledBox()->geometry().bottom() + 1, 600);
    QVERIFY(ToPixels(long_list.height) > 600);
  }

  // Fitted only as far as a room needs, a long list is taller than the room and no taller than
  // all of it; a list that fits the room gets the whole height.
  void fitsOnlyWhatTheRoomNeeds() {
    const auto set_up = [](QLabel& label) {
      label.setFont(ArialFont(6));  // unlike the application's font
      label.setWordWrap(true);
      label.setTextFormat(Qt::PlainText);
      label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    };
    QStringList names;
    for (int i = 0; i < 200; ++i) {
      names << (i % 7 == 0
                    ? QStringLiteral("A name long enough to wrap at a narrow width, %1").arg(i)
                    : QStringLiteral("Mod %1").arg(i));
    }
    FittingLabel label;
    QLabel reference;
    set_up(label);
    set_up(reference);
    label.setText(names.join(QLatin1Char('\n')));
    reference.setText(label.text());
    for (const int width : {60, 150, 400}) {
      const int all = reference.heightForWidth(width);
      for (const int room : {0, 100, 500, all / 2, all - 1, all, all + 100}) {
        bool whole = false;
        const int height = label.HeightFilling(width, room, &whole);
        QCOMPARE(whole, all <= room || height == all);
        if (whole) QCOMPARE(height, all);
        if (!whole) QVERIFY(height > room && height < all);
      }
      QCOMPARE(label.heightForWidth(width), all);
    }
  }

  void followsResizes() {
    ShowResized(300, 200);  // 4500 x 3000 twips
    QCOMPARE(ListWidth(), 4500 - 2800);
    QCOMPARE(RemoveTop(),
             PlacedAt(form_->ModsInstalledBox()).top + PlacedAt(form_->ModsInstalledBox()).height);
    QCOMPARE(form_->Line1Y2(), 3000 - 105);
    // At 3000 twips or less the list keeps its width.
    ShowResized(200, 200);
    QCOMPARE(ListWidth(), 4500 - 2800);
    ShowResized(201, 200);
    QCOMPARE(ListWidth(), 3015 - 2800);
    // Shorter than the list: the button's bottom edge stays at the bottom.
    ShowResized(300, 30);
    QCOMPARE(RemoveTop(), 450 - 375);
    QCOMPARE(form_->Line1Y2(), 450 - 105);
    // At 200 twips or less the line keeps its end.
    ShowResized(300, 13);
    QCOMPARE(form_->Line1Y2(), 450 - 105);
    QCOMPARE(RemoveTop(), 195 - 375);

    // A resize measures the inside of the window, UpdateModBox its outside.
    ShowResized(400, 231);
    QCOMPARE(ListWidth(), 6000 - 2800);
    form_->UpdateModBox();
    QCOMPARE(ListWidth(), ToTwips(form_->frameGeometry().width()) - 2800);
    QVERIFY(ListWidth() >= 6000 - 2800);
  }

  // The dialog asks as the system says and opens where the last package was found; a choice the
  // dialog's buffer of 256 characters cannot hold, or one that is not a listed file, changes
  // nothing.
  void asksForAPackageInTheRememberedFolder() {
    Choose(std::nullopt);
    const OpenFileRequest& first = scene_->file_dialog.requests.at(0);
    QCOMPARE(first.initial_folder + "|" + first.title + "|" + first.filter_name + "|" +
                 first.filter_pattern + "|" + std::to_string(first.max_path),
             "C:\\|Select mod to install|Mod Project Installation files (*.mpi)|*.MPI|256");
    QCOMPARE(scene_->Remembered(), "<unset>");
    ExpectOffered({});

    // The buffer holds 255 and the terminating zero, counted as Windows counts them (UTF-16
    // units, one per Cyrillic letter).
    std::string folder;
    for (int i = 0; i < 120; ++i) folder += "\xD1\x8F";
    const std::string bytes = BuildMpi(Package("Long path", "Readme"));
    const auto write = [&](size_t length) {
      // "C:\Mods\" + folder + "\" + name + ".mpi": 133 units around the name.
      const std::string name = std::string(length - 133, 'a') + ".mpi";
      if (fixtures::WriteHostFile(scene_->OnDriveC("Mods/" + folder + "/" + name), bytes))
        return std::string("<unwritten>");
      return "C:\\Mods\\" + folder + "\\" + name;
    };
    Choose(write(256));
    ExpectOffered({});
    QCOMPARE(scene_->Remembered(), "<unset>");
    const std::string long_path = write(255);
    Choose(long_path);
    ExpectOffered("Long path");
    QCOMPARE(scene_->Remembered(), "C:\\Mods\\" + folder + "\\");

    fixtures::MakeFolders(scene_->OnDriveC("Mods/folder.mpi"));
    scene_->settings.Set("Open", "Last directory", "C:\\Before\\");
    for (const char* chosen : {"C:\\Mods\\gone.mpi", "C:\\Mods\\folder.mpi", ""}) Choose(chosen);
    QVERIFY(scene_->messages.boxes.empty());
    QCOMPARE(scene_->Remembered(), "C:\\Before\\");
    QCOMPARE(form_->State().PackagePath, long_path);
    ExpectOffered("Long path");

    // Remembered even for a broken package, and by a window made later.
    fixtures::MpiPackage broken = Package("Broken", "x");
    broken.magic = "MPI 9.9 ";
    Choose(scene_->WriteMod("broken.mpi", broken));
    QCOMPARE(scene_->Remembered(), "C:\\Mods\\");
    scene_->file_dialog.answer.reset();
    scene_->MakeForm()->OpenModButton_Click();
    QCOMPARE(scene_->file_dialog.requests.back().initial_folder, "C:\\Mods\\");
    // Folders in any script survive the user's settings.
    const std::string unicode =
        "C:\\Mods \xC3\xA9t\xC3\xA9 \xD0\x98\xD0\xB3\xD1\x80\xD1\x8B \xF0\x9F\x98\x80\\";
    scene_->settings.Set("Open", "Last directory", unicode);
    QCOMPARE(QtSettings().Get("Open", "Last directory", ""), unicode);
    QCOMPARE(QSettings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"))
                 .value(QStringLiteral("Open/Last directory"))
                 .toString(),
             QString::fromUtf8(unicode));
  }

  // A valid package shows its readme; a bad choice after it takes the title away and leaves the
  // readme: the same invalid package, then with no descriptor to open it by (run as root,
  // permissions would not stop the read).
  void offersAValidPackageWithItsReadme() {
    const std::string path =
        scene_->WriteMod("first.mpi", Package("First \xE9 mod", "Line one\r\nTwo"));
    Choose(path);
    QVERIFY(scene_->messages.boxes.empty());
    QCOMPARE(form_->State().PackagePath, path);
    ExpectOffered(QStringLiteral("First \u00E9 mod"));
    ReadmeForm* readme = form_->Readme();
    QVERIFY(readme != nullptr && readme->isVisible());
    QCOMPARE(ReadmeShown(), QStringLiteral("Line one\nTwo"));

    // "Close readme" only hides it; the button brings the same text back.
    readme->CloseButton()->click();
    QVERIFY(!readme->isVisible());
    form_->ReadmeButton()->click();
    QVERIFY(readme->isVisible());

    // The same package again, then another: one window, showing the latest readme.
    Choose(path);
    QVERIFY(form_->Readme() == readme && readme->isVisible());
    const std::string second = scene_->WriteMod("second.mpi", Package("Second", "Other readme"));
    Choose(second);
    QVERIFY(form_->Readme() == readme);
    QCOMPARE(ReadmeShown(), QStringLiteral("Other readme"));
    ExpectOffered("Second");

    fixtures::MpiPackage package = Package("Bad", "Never shown");
    package.rows[0].type = 9;
    const std::string bad = scene_->WriteMod("bad.mpi", package);
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    for (const rlim_t descriptors : {saved.rlim_cur, rlim_t{3}}) {
      Choose(second);
      rlimit limit = saved;
      limit.rlim_cur = descriptors;
      QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
      Choose(bad);
      QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
      QCOMPARE(form_->State().PackagePath, bad);
      ExpectOffered({});
      QCOMPARE(ReadmeShown(), QStringLiteral("Other readme"));
      QVERIFY(form_->Readme()->isVisible());
    }
    QCOMPARE(scene_->messages.Errors(),
             (std::vector<std::string>{"Specified MPI file is invalid or corrupted! Make sure you "
                                       "have the latest version of the mod installer.",
                                       "Error opening mod!"}));

    // Closing the main window takes the readme with it.
    form_->close();
    QVERIFY(!readme->isVisible() && !readme->isEnabled());
  }

  // A mod installed, listed and removed; one whose install stopped stays listed as incomplete,
  // its package still offered; and Remove latest on a game that changed under it asks before any
  // write. Titles from files are text, never markup.
  void installsListsAndRemovesMods() {
    std::vector<Box>& boxes = scene_->messages.boxes;
    const std::string markup = "<b>Bold</b> &lt;i&gt; <br>x";
    const std::string path = scene_->WriteMod("markup.mpi", Package(markup, "Readme"));
    Choose(path);
    form_->InstallModButton()->click();
    QCOMPARE(boxes,
             (std::vector<Box>{{Kind::kPlain, "Mod installation", "Mod installed successfully"}}));
    ExpectOffered({});
    QVERIFY(form_->RemoveButton()->isEnabled());
    Choose(path);
    for (QLabel* label : {form_->TitleBox(), form_->ModsInstalledBox()}) {
      QCOMPARE(label->textFormat(), Qt::PlainText);
      QCOMPARE(label->text(), QString::fromStdString(markup));
    }

    // Declined: nothing happens. Confirmed: the mod goes and the list follows.
    boxes.clear();
    scene_->messages.answers = {false, true};
    form_->RemoveButton()->click();
    QCOMPARE(boxes,
             (std::vector<Box>{{Kind::kConfirm, "Warning",
                                "This will uninstall all the modifications made by the latest "
                                "modpack that you have installed (" +
                                    markup + "). Do you wish to continue?"}}));
    QCOMPARE(form_->State().ModLog.ModCount(), 1);
    form_->RemoveButton()->click();
    QCOMPARE(boxes.size(), size_t{2});
    QCOMPARE(form_->State().ModLog.ModCount(), 0);
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(!form_->RemoveButton()->isEnabled());

    // The second resource names an id the archive lacks: the first stays applied and listed.
    fixtures::MpiPackage package = Package("Half mod", "Readme");
    package.rows.push_back({1, 0, 424242, "new bytes", {}, {}});
    Choose(scene_->WriteMod("half.mpi", package));
    boxes.clear();
    form_->InstallModButton()->click();
    QVERIFY(boxes.size() == 1 && boxes[0].kind == Kind::kError);
    ExpectOffered("Half mod");
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Half mod (incomplete)"));

    // Steam's file check shortened the archive the mod appended to: Cancel keeps the list, Start
    // over empties it.
    const std::string graphics = scene_->GameHost() + "/Data/graphics.drs";
    std::filesystem::resize_file(graphics, std::filesystem::file_size(graphics) - 1);
    boxes.clear();
    scene_->messages.choices_made = {0};
    form_->RemoveButton()->click();
    QCOMPARE(boxes.size(), size_t{2});
    const Box& asked = boxes[1];
    QCOMPARE(asked.kind, Kind::kChoose);
    QCOMPARE(asked.title, std::string("Game files changed"));
    QVERIFY(asked.text.find("- graphics.drs is shorter than Tarnwick left it.\n") !=
            std::string::npos);
    QVERIFY(asked.text.find("Steam may have verified the game files") != std::string::npos);
    QCOMPARE(scene_->messages.offered.back(), (std::vector<std::string>{"Cancel", "Start over"}));
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Half mod (incomplete)"));
    scene_->messages.choices_made = {1};
    form_->RemoveButton()->click();
    QCOMPARE(boxes.back().kind, Kind::kInformation);
    QVERIFY(boxes.back().text.starts_with("Tarnwick started over"));
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(!form_->RemoveButton()->isEnabled());
  }

  // A click during an install, before the progress dialog shows, is dropped, not run after it.
  void takesNoInputWhileAnInstallRuns() {
    QtProgress progress;
    progress.SetOwner(form_.get());
    scene_->file_dialog.answer.reset();
    progress.Begin(2);
    QTest::mouseClick(form_->OpenModButton(), Qt::LeftButton);
    QTest::keyClick(form_->OpenModButton(), Qt::Key_Space);
    progress.Update(1, 1000);
    QTest::mouseClick(form_->OpenModButton(), Qt::LeftButton);
    // A box the install opens meanwhile still takes its answer.
    QObject context;
    bool clicked_away = false;  // the box took the press
    WhenShown<QMessageBox>(&context, [&](QMessageBox* box) {
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      const QPointF at = QPointF(ok->rect().center());
      QMouseEvent press(QEvent::MouseButtonPress, at, ok->mapToGlobal(at), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(ok, &press);
      clicked_away = ok->isDown();
      ok->click();
    });
    QtMessages boxes;
    boxes.SetOwner(form_.get());
    boxes.Error("Disk full");
    QVERIFY(clicked_away);
    progress.End();
    QVERIFY(form_->isVisible());
    QVERIFY(scene_->file_dialog.requests.empty());
    QTest::mouseClick(form_->OpenModButton(), Qt::LeftButton);
    QCOMPARE(scene_->file_dialog.requests.size(), size_t{1});
  }
};

class ToolsMenuTest : public QObject {
  Q_OBJECT

 private slots:
  // Two installs, ~/.wine with Clone Campaigns and a Bottles prefix with the base game only:
  // asked at start-up and remembered; Tools > Choose game starts the window over on the other game
  // and its log.
  void choosesTheGameAndRemembersIt() {
    Chooser chooser;
    Scene scene;
    const std::string bottle = scene.dir / "home/.local/share/bottles/bottles/SWGB";
    ::unsetenv("WINEPREFIX");
    QVERIFY(!fixtures::WriteWinePrefix(
        bottle, {.cc_game_path = std::nullopt, .base_game_path = fixtures::kGameFolderPath}));
    QVERIFY(!fixtures::WriteGameFolder(scene.GameHost(bottle), {.clone_campaigns = false}));
    const QString game = QString::fromLatin1(fixtures::kGameFolderPath);
    const QString cc_found = QStringLiteral("Tarnwick (v0.81 - beta) - CC found");
    const QString cc_not_found = QStringLiteral("Tarnwick (v0.81 - beta) - CC not found");
    const auto start = [&] {
      auto form = scene.Start();
      return form ? form->windowTitle() : QString();
    };
    // Not choosing starts on the first, and asks again next time.
    chooser.Answer(std::nullopt);
    QCOMPARE(start(), cc_found);
    QVERIFY(chooser.asked);
    QCOMPARE(chooser.offered, (QStringList{"Wine " + game, "Bottles: SWGB " + game}));
    QCOMPARE(chooser.selected, 0);
    QCOMPARE(scene.settings.Get("Game", "Install", "<unset>"), "<unset>");
    chooser.Answer(1);
    auto form = scene.Start();
    QVERIFY(form != nullptr);
    QVERIFY(chooser.asked);
    QCOMPARE(form->windowTitle(), cc_not_found);
    QCOMPARE(scene.settings.Get("Game", "Install", ""), bottle + "|" + fixtures::kGameFolderPath);
    QVERIFY(std::filesystem::exists(scene.LogHost(bottle)));

    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // Both games lie at the same Windows path: only the prefix tells their logs apart.
    std::filesystem::remove(scene.LogHost());
    chooser.Answer(std::nullopt);
    form->MenuToolsChooseGame()->trigger();
    QVERIFY(chooser.asked);
    QCOMPARE(chooser.selected, 1);
    QCOMPARE(form->windowTitle(), cc_not_found);
    QVERIFY(!std::filesystem::exists(scene.LogHost()));
    chooser.Answer(0);
    form->MenuToolsChooseGame()->trigger();
    QVERIFY(chooser.asked);
    QCOMPARE(form->windowTitle(), cc_found);
    QVERIFY(form->State().CCPresent);
    QCOMPARE(scene.settings.Get("Game", "Install", ""),
             scene.prefix + "|" + fixtures::kGameFolderPath);
    QVERIFY(std::filesystem::exists(scene.LogHost()));
    QCOMPARE(form->ModsInstalledBox()->text(), QStringLiteral("None"));

    // Remembered: no question, the same game.
    chooser.Answer(1);
    QCOMPARE(start(), cc_found);
    QVERIFY(!chooser.asked);
    QVERIFY(scene.messages.boxes.empty());
  }

  // Three sample mods: each listed with its record; the oldest removed from the package files the
  // player chooses once none is kept; a removal declined, then one confirmed after its plan; and a
  // removal cut off offered at the next start.
  void managesTheMods() {
    Scene scene;
    auto form = scene.Start();
    QVERIFY(form != nullptr);
    for (const char* mod : {kLanguage, kTrooper, kBlaster}) QVERIFY(scene.Install(*form, mod));
    auto& boxes = scene.messages.boxes;
    auto& requests = scene.file_dialog.requests;
    {
      ManageWindow window(form->State(), scene.messages, scene.file_dialog, scene.settings,
                          nullptr);
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

      std::filesystem::remove_all(scene.GameHost() + "/Data/tarnwick/packages");
      window.Refresh();
      QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("package not kept"));
      list->setCurrentItem(list->topLevelItem(2));
      QVERIFY(window.RemoveButton()->isEnabled());
      scene.file_dialog.answers = {kLanguage, kBlaster};
      size_t before = boxes.size();
      window.RemoveButton()->click();
      QCOMPARE(boxes.size(), before + 2);
      QVERIFY2(boxes[before].text.starts_with(
                   "The package of Striped trooper graphics and Louder blaster sound is not kept."),
               boxes[before].text.c_str());
      QCOMPARE(boxes.back().kind, Kind::kPlain);
      QVERIFY2(boxes.back().text.ends_with(
                   "C:\\Mods\\unit-names-language.mpi is not the package of Striped trooper "
                   "graphics: installing it would not make the changes the log holds for that "
                   "mod."),
               boxes.back().text.c_str());
      QCOMPARE(requests.size(), size_t{2});
      QCOMPARE(requests[0].title, "Select the package of Striped trooper graphics");
      QCOMPARE(requests[1].filter_pattern, "*.MPI");
      // A cancelled dialog ends it too.
      list->setCurrentItem(list->topLevelItem(2));
      window.RemoveButton()->click();
      QCOMPARE(requests.size(), size_t{3});
      QCOMPARE(list->topLevelItemCount(), 3);
      list->setCurrentItem(list->topLevelItem(2));
      scene.file_dialog.answers = {kTrooper, kBlaster};
      before = boxes.size();
      window.RemoveButton()->click();
      QCOMPARE(boxes.size(), before + 2);
      QVERIFY(boxes.back().text.starts_with("Takes off Louder blaster sound and "));
      QCOMPARE(list->topLevelItemCount(), 2);
      for (int row = 0; row < 2; ++row) {
        QCOMPARE(list->topLevelItem(row)->text(3), QStringLiteral("kept"));
      }

      list->setCurrentItem(list->topLevelItem(1));
      scene.messages.answers = {false, true};
      window.RemoveButton()->click();
      QCOMPARE(list->topLevelItemCount(), 2);
      list->setCurrentItem(list->topLevelItem(1));
      window.RemoveButton()->click();
      QCOMPARE(boxes.back().kind, Kind::kConfirm);
      QVERIFY2(boxes.back().text.starts_with("Takes off Louder blaster sound, removes Striped "
                                             "trooper graphics, puts back Louder blaster "
                                             "sound.\nWrites "),
               boxes.back().text.c_str());
      QVERIFY(boxes.back().text.ends_with("Do you wish to continue?"));
      QCOMPARE(list->topLevelItemCount(), 1);
      QCOMPARE(list->topLevelItem(0)->text(0), titles[0]);
      QCOMPARE(form->State().ModLog.ModCount(), 1);
    }

    // Cut off after the newest mod came off: the next start asks, and finishes it.
    QVERIFY(scene.Install(*form, kLanguage));
    InstallerState& state = form->State();
    const LedgerPaths paths = LedgerPathsFor(state.ModLog.LogPath);
    Ledger ledger;
    QCOMPARE(LoadLedger(paths, ledger), LedgerLoad::kLoaded);
    const RemovalPlan plan = PlanRemoval(state.ModLog, state.GameFiles, state.CCPresent, ledger, 1);
    QVERIFY(plan.Ok());
    ledger.plan = PlanText(plan, 0);
    QVERIFY(!SaveLedger(paths, ledger));
    RemoveLatest(state.ModLog, state.GameFiles, scene.messages);
    form.reset();
    const size_t before = boxes.size();
    form = scene.Start();
    QVERIFY(form != nullptr);
    QCOMPARE(boxes.size(), before + 1);
    QVERIFY2(boxes.back().text.starts_with(
                 "Removing Louder blaster sound was cut off before it finished."),
             boxes.back().text.c_str());
    QCOMPARE(form->State().ModLog.ModCount(), 1);
    QCOMPARE(form->ModsInstalledBox()->text(), QStringLiteral("New unit names (language library)"));
    PendingRemoval pending;
    QVERIFY(!FindPendingRemoval(form->State().ModLog.LogPath, pending));
  }

  // What it changes: a rival of the trooper graphics, with one picture of its own, one the same as
  // the installed mod's, a language library over the installed one, a new sound, and an id the
  // archive lacks; then the installed mods it overrides. And Verify game files.
  void showsWhatModsChangeAndVerifiesTheGame() {
    Scene scene;
    auto form = scene.Start();
    QVERIFY(form != nullptr);
    QVERIFY(!form->MenuToolsChanges()->isEnabled());
    for (const char* mod : {kTrooper, kLanguage}) QVERIFY(scene.Install(*form, mod));
    fixtures::MpiPackage rival;
    rival.title = "Rival trooper";
    rival.rows = {{1, 1, 100, "a rival picture", {}, {}},
                  fixtures::SampleMods()[0].package.rows[1],
                  {5, 6, 0, std::string(2000, 'L'), {}, {}},
                  {2, 3, 5000, std::string(300, 'S'), {}, {}},
                  {1, 1, 424242, "no such id", {}, {}}};
    form->OpenPackage(scene.WriteMod("rival-trooper.mpi", rival));
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
      QStringList cells;  // row, what, file, id, size, provider, status
      RowMark mark;
    };
    const Expected expected[] = {
        {{"1", "resource", "graphics.drs", "100", "15", trooper, "overrides \"" + trooper + "\""},
         RowMark::kConflict},
        {{"2", "resource", "graphics.drs", "1000", QString::number(rival.rows[1].payload.size()),
          trooper, "identical"},
         RowMark::kIdentical},
        {{"3", "file", "language.dll", "", "2000", language, "overrides \"" + language + "\""},
         RowMark::kConflict},
        {{"4", "resource", "sounds.drs", "5000", "300", "game", "new"}, RowMark::kPlain},
        {{"5", "refused", "graphics_x1.drs", "424242", "", "", "refused: invalid"},
         RowMark::kRefused},
    };
    for (int row = 0; row < 5; ++row) {
      const QStringList cells = RowTexts(*window, row);
      QCOMPARE(
          (QStringList{cells[kColumnRow], cells[kColumnWhat], cells[kColumnFile], cells[kColumnId],
                       cells[kColumnSize], cells[kColumnProvider], cells[kColumnStatus]}),
          expected[row].cells);
      QCOMPARE(window->MarkOf(row), expected[row].mark);
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

    // Installed, it stops at the refused row; the trooper mod's pictures are overridden now, and
    // so is the language library the mod after it replaced.
    form->InstallModButton_Click();
    QVERIFY(form->MenuToolsChanges()->isEnabled());  // the package is still chosen
    ManageWindow manage(form->State(), scene.messages, scene.file_dialog, scene.settings, nullptr);
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
    manage.ModList()->setCurrentItem(manage.ModList()->topLevelItem(1));
    manage.ChangesButton()->click();
    QCOMPARE(RowTexts(*changed, 0)[kColumnStatus],
             QStringLiteral("overridden by \"Rival trooper (incomplete)\""));

    // A package installed in full is no longer offered.
    QVERIFY(scene.Install(*form, kBlaster));
    QVERIFY(!form->MenuToolsChanges()->isEnabled());
    QVERIFY(!form->Readme()->ChangesButton()->isEnabled());
    QVERIFY(!window->isVisible());

    // Verify game files: each file's state and each mod, newest first; then a file appended to
    // and one gone.
    const auto state_of = [&](const QString& name) {
      QTableWidget* table = form->Verify()->FilesTable();
      for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->text() == name) return table->item(row, 1)->text();
      }
      return QStringLiteral("<not listed>");
    };
    form->MenuToolsVerify()->trigger();
    QVERIFY(form->Verify() != nullptr && form->Verify()->isVisible());
    QCOMPARE(state_of("graphics.drs"), QStringLiteral("as Tarnwick left it"));
    QCOMPARE(state_of("graphics_x1.drs"), QStringLiteral("as Tarnwick left it"));
    QTableWidget* mods = form->Verify()->ModsTable();
    QCOMPARE(mods->rowCount(), 4);
    QCOMPARE(mods->item(0, 1)->text(), QStringLiteral("Louder blaster sound"));
    QCOMPARE(mods->item(0, 2)->text(), QStringLiteral("kept"));

    const std::string graphics = scene.GameHost() + "/Data/graphics.drs";
    fixtures::WriteAll(graphics, fixtures::ReadAll(graphics) + "appended");
    std::filesystem::remove(scene.GameHost() + "/Data/graphics_x1.drs");
    form->MenuToolsVerify()->trigger();
    QCOMPARE(state_of("graphics.drs"), QStringLiteral("changed since"));
    QCOMPARE(state_of("graphics_x1.drs"), QStringLiteral("missing"));
    QVERIFY(form->Verify()->Summary()->text().contains("Steam may have verified"));
  }
};

}  // namespace tarnwick::testing

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The real settings store must not touch the user's own.
  QTemporaryDir config;
  ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication application(argc, argv);
  tarnwick::testing::StartupTest startup;
  tarnwick::testing::WindowTest window;
  tarnwick::testing::ToolsMenuTest tools;
  const int failed = QTest::qExec(&startup, argc, argv) + QTest::qExec(&window, argc, argv) +
                     QTest::qExec(&tools, argc, argv);
  return failed == 0 ? 0 : 1;
}

#include "app_test.moc"
