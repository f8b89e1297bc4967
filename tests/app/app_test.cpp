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
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/choose_game_dialog.h"
#include "app/installer_form.h"
#include "app/qt_services.h"
#include "app/readme_form.h"
#include "app/twips.h"
#include "app/verify_window.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "platform/file_dialog.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick::testing {
namespace {

using Box = fixtures::RecordingMessages::Box;
using Kind = fixtures::RecordingMessages::Kind;

constexpr char kNoGame[] =
    "Unable to find SWGB! Please ensure that it is correctly installed and that it has been run "
    "at least once. If it is installed in a Wine prefix of its own, start the installer with "
    "WINEPREFIX set to that prefix.";
constexpr char kNoBaseFiles[] =
    "Unable to find SWGB data files! Please ensure that the game is correctly installed.";
constexpr char kNoCcFiles[] =
    "Unable to find CC data files! Please ensure that the game is correctly installed.";

fixtures::MpiPackage Package(const std::string& title, const std::string& readme) {
  fixtures::MpiPackage package;
  package.title = title;
  package.readme = readme;
  package.rows = {{1, 1, 100, "new graphic bytes", {}, {}}};  // a graphic graphics.drs has
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

// Answers the open-file dialog from a script and keeps every request.
struct ScriptedFileDialog : FileDialog {
  bool GetOpenFileName(const OpenFileRequest& request, std::string* chosen) override {
    requests.push_back(request);
    if (answer) *chosen = *answer;
    return answer.has_value();
  }
  std::optional<std::string> answer;
  std::vector<OpenFileRequest> requests;
};

// The game with Clone Campaigns in a fresh Wine prefix with the keys `cc` and `base` (empty: none),
// the only one the program can find (HOME too, against ~/.wine and Steam); nothing remembered.
struct Scene {
  static constexpr const char* kGamePath = fixtures::kGameFolderPath;

  explicit Scene(const QString& cc = kGamePath, const QString& base = kGamePath)
      : prefix(dir / "prefix") {
    const auto key = [](const QString& path) {
      return path.isEmpty() ? std::nullopt : std::optional(path.toStdString());
    };
    fixtures::MakeFolders(dir / "home");
    ::setenv("HOME", (dir / "home").c_str(), 1);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    if (fixtures::WriteWinePrefix(prefix, {.cc_game_path = key(cc), .base_game_path = key(base)}) ||
        fixtures::WriteGameFolder(GameHost(), {}))
      std::abort();
    QSettings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick")).clear();
  }

  std::string OnDriveC(const std::string& relative) const {
    return prefix + "/drive_c/" + relative;
  }
  std::string GameHost() const {
    return OnDriveC("Program Files/LucasArts/Star Wars Galactic Battlegrounds");
  }
  std::unique_ptr<InstallerForm> MakeForm() {
    return std::make_unique<InstallerForm>(messages, file_dialog, settings, nullptr);
  }
  std::string Remembered() { return settings.Get("Open", "Last directory", "<unset>"); }

  fixtures::TempDir dir;
  std::string prefix;
  fixtures::RecordingMessages messages;
  ScriptedFileDialog file_dialog;
  QtSettings settings;
};

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  // The game is installed with Clone Campaigns files; only the registry differs (`no`: no key).
  void findsTheGameFromTheRegistry_data() {
    QTest::addColumn<QString>("cc");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("found");  // "CC", "base" or "" (ends)
    const QString game = Scene::kGamePath, unterminated = game.chopped(1), no, ends;
    QTest::newRow("both keys") << game << game << "CC";
    QTest::newRow("cc folder empty") << "C:\\Games\\Clone Campaigns\\" << game << "base";
    QTest::newRow("cc without backslash") << unterminated << game << "base";
    QTest::newRow("only the base key") << no << game << "base";
    QTest::newRow("neither key") << no << no << ends;
    QTest::newRow("only a cc key to nowhere") << "C:\\Nowhere\\" << no << ends;
    QTest::newRow("base without backslash") << no << unterminated << ends;
    QTest::newRow("base holds only folders") << no << "C:\\Program Files\\LucasArts\\" << ends;
    QTest::newRow("base value over 1023") << no << "C:\\" + QString(1100, 'x') + "\\" << ends;
  }
  void findsTheGameFromTheRegistry() {
    QFETCH(QString, cc);
    QFETCH(QString, base);
    QFETCH(QString, found);
    Scene scene(cc, base);
    fixtures::MakeFolders(scene.OnDriveC("Games/Clone Campaigns"));
    auto form = scene.MakeForm();
    // Created on first start, in the data folder as it is spelt on disk.
    const std::string log = scene.GameHost() + "/" + fixtures::kDataFolderOnDisk + "/mods.log";

    QCOMPARE(form->Form_Load(), found.isEmpty());
    // The suffix is set before the game is looked for.
    QCOMPARE(form->windowTitle(), found == "CC" ? "Tarnwick (v0.81 - beta) - CC found"
                                                : "Tarnwick (v0.81 - beta) - CC not found");
    QCOMPARE(form->State().CCPresent, found == "CC");
    QCOMPARE(std::filesystem::exists(log), !found.isEmpty());
    if (found.isEmpty()) {
      QCOMPARE(scene.messages.boxes, (std::vector<Box>{{Kind::kError, "Error", kNoGame}}));
      return;
    }
    QVERIFY(scene.messages.boxes.empty());
    QCOMPARE(form->State().GamePath, Scene::kGamePath);
    QCOMPARE(form->State().DataPath, Scene::kGamePath + std::string("data\\"));
  }

  // The first and last file of each set (in the data and the game folder).
  void endsOnTheFirstMissingFile_data() {
    QTest::addColumn<bool>("ccKey");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("message");  // empty: starts anyway
    QTest::newRow("first archive") << true << "Data/gamedata.drs" << kNoBaseFiles;
    QTest::newRow("executable") << false << "Battlegrounds.exe" << kNoBaseFiles;
    QTest::newRow("cc archive") << true << "Data/gamedata_x1.drs" << kNoCcFiles;
    QTest::newRow("cc executable") << true << "Battlegrounds_x1.exe" << kNoCcFiles;
    QTest::newRow("cc executable, no cc key") << false << "Battlegrounds_x1.exe" << QString();
  }
  void endsOnTheFirstMissingFile() {
    QFETCH(bool, ccKey);
    QFETCH(QString, missing);
    QFETCH(QString, message);
    Scene scene(ccKey ? Scene::kGamePath : "");
    QVERIFY(std::filesystem::remove(scene.GameHost() + "/" + missing.toStdString()));
    auto form = scene.MakeForm();
    QCOMPARE(form->Form_Load(), !message.isEmpty());
    const std::vector<Box> error = {{Kind::kError, "Error", message.toStdString()}};
    QCOMPARE(scene.messages.boxes, message.isEmpty() ? std::vector<Box>{} : error);
  }

  // With the real boxes: before the window ever shows, they sit in the middle of the screen, and
  // they show their text as it is.
  void showsStartUpBoxesCentredAsPlainText() {
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
  }
};

// Two installs: ~/.wine with Clone Campaigns, and a Bottles prefix with the base game only.
struct TwoInstalls {
  TwoInstalls() {
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("WINEPREFIX");
    const std::string game = fixtures::kGameFolderPath;
    if (fixtures::WriteWinePrefix(wine, {.cc_game_path = game, .base_game_path = game}) ||
        fixtures::WriteWinePrefix(bottle, {.cc_game_path = std::nullopt, .base_game_path = game}) ||
        fixtures::WriteGameFolder(GameHost(wine), {}) ||
        fixtures::WriteGameFolder(GameHost(bottle), {.clone_campaigns = false}))
      std::abort();
    QSettings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick")).clear();
  }
  static std::string GameHost(const std::string& prefix) {
    return prefix + "/drive_c/Program Files/LucasArts/Star Wars Galactic Battlegrounds";
  }
  static bool HasLog(const std::string& prefix) {
    return std::filesystem::exists(GameHost(prefix) + "/" + fixtures::kDataFolderOnDisk +
                                   "/mods.log");
  }
  std::unique_ptr<InstallerForm> MakeForm() {
    return std::make_unique<InstallerForm>(messages, file_dialog, settings, nullptr);
  }
  // Picks `row` in the next choose-game dialog (none: cancels it) and keeps what it offered.
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
  std::string Remembered() { return settings.Get("Game", "Install", "<unset>"); }

  fixtures::TempDir dir;
  const std::string home = dir / "home";
  const std::string wine = home + "/.wine";
  const std::string bottle = home + "/.local/share/bottles/bottles/SWGB";
  fixtures::RecordingMessages messages;
  ScriptedFileDialog file_dialog;
  QtSettings settings;
  QStringList offered;
  int selected = -1;
  bool asked = false;
  QObject context;  // first to go: no watch outlives the machine
};

class GameChoiceTest : public QObject {
  Q_OBJECT

 private slots:
  void asksOnceAndRemembers() {
    TwoInstalls machine;
    const QString game = QString::fromLatin1(fixtures::kGameFolderPath);
    const QStringList both = {"Wine " + game, "Bottles: SWGB " + game};

    // Not choosing starts on the first, and asks again next time.
    machine.Answer(std::nullopt);
    auto form = machine.MakeForm();
    QVERIFY(!form->Form_Load());
    QVERIFY(machine.asked);
    QCOMPARE(machine.offered, both);
    QCOMPARE(machine.selected, 0);
    QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick (v0.81 - beta) - CC found"));
    QCOMPARE(machine.Remembered(), "<unset>");

    machine.Answer(1);
    form = machine.MakeForm();
    QVERIFY(!form->Form_Load());
    QVERIFY(machine.asked);
    QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick (v0.81 - beta) - CC not found"));
    QCOMPARE(machine.Remembered(), machine.bottle + "|" + fixtures::kGameFolderPath);
    QVERIFY(TwoInstalls::HasLog(machine.bottle));

    // Remembered: no question, the same game.
    machine.Answer(0);
    form = machine.MakeForm();
    QVERIFY(!form->Form_Load());
    QVERIFY(!machine.asked);
    QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick (v0.81 - beta) - CC not found"));
    QVERIFY(machine.messages.boxes.empty());
  }

  // Tools > Choose game: the window starts over on the other game and its log.
  void switchesGameFromTheToolsMenu() {
    TwoInstalls machine;
    machine.settings.Set("Game", "Install", machine.bottle + "|" + fixtures::kGameFolderPath);
    auto form = machine.MakeForm();
    QVERIFY(!form->Form_Load());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const std::string first_log = form->State().ModLog.LogPath;

    machine.Answer(std::nullopt);
    form->MenuToolsChooseGame()->trigger();
    QVERIFY(machine.asked);
    QCOMPARE(machine.selected, 1);
    QCOMPARE(form->State().ModLog.LogPath, first_log);
    QVERIFY(!TwoInstalls::HasLog(machine.wine));

    machine.Answer(0);
    form->MenuToolsChooseGame()->trigger();
    QVERIFY(machine.asked);
    QCOMPARE(form->windowTitle(), QStringLiteral("Tarnwick (v0.81 - beta) - CC found"));
    QVERIFY(form->State().CCPresent);
    QCOMPARE(machine.Remembered(), machine.wine + "|" + fixtures::kGameFolderPath);
    QVERIFY(TwoInstalls::HasLog(machine.wine));
    QCOMPARE(form->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(machine.messages.boxes.empty());
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

  // Writes the package at C:\Mods\<name> and returns its program path.
  std::string WriteMod(const std::string& name, const fixtures::MpiPackage& package) {
    const auto error = fixtures::WriteHostFile(scene_->OnDriveC("Mods/" + name), BuildMpi(package));
    return error ? "<unwritten>" : "C:\\Mods\\" + name;
  }
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
    form_ = scene_->MakeForm();
    QVERIFY(!form_->Form_Load());
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
    // The list keeps the height of all its names; only what lies inside the window is painted,
    // and growing the window (even at a width the list keeps) shows more of it.
    const TwipRect long_list = PlacedAt(form_->ModsInstalledBox());
    QCOMPARE(long_list.height, FittedHeight(form_->ModsInstalledBox(), long_list.width));
    QCOMPARE(form_->ModsInstalledBox()->geometry().bottom() + 1, 231);
    ShowResized(200, 600);
    QCOMPARE(PlacedAt(form_->ModsInstalledBox()), long_list);
    QCOMPARE(form_->ModsInstalledBox()->geometry().bottom() + 1, 600);
    QVERIFY(ToPixels(long_list.height) > 600);
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

  void answersHelpAboutAndExit() {
    for (QAction* item : {form_->MenuHelpHelp(), form_->MenuHelpAbout(), form_->MenuExit()})
      item->trigger();
    const auto& boxes = scene_->messages.boxes;
    QVERIFY(boxes.size() == 2 && boxes[0].title == "Help" && boxes[1].title == "About");
    QVERIFY(boxes[0].kind == Kind::kInformation && boxes[1].kind == Kind::kInformation);
    QVERIFY(!form_->isVisible());
  }

  void asksForAPackageInTheRememberedFolder() {
    Choose(std::nullopt);
    const OpenFileRequest& first = scene_->file_dialog.requests.at(0);
    QCOMPARE(first.initial_folder + "|" + first.title + "|" + first.filter_name + "|" +
                 first.filter_pattern + "|" + std::to_string(first.max_path),
             "C:\\|Select mod to install|Mod Project Installation files (*.mpi)|*.MPI|256");
    QCOMPARE(scene_->Remembered(), "<unset>");
    ExpectOffered({});

    // Remembered even for a broken package, and by a window made later.
    fixtures::MpiPackage broken = Package("Broken", "x");
    broken.magic = "MPI 9.9 ";
    Choose(WriteMod("broken.mpi", broken));
    QCOMPARE(scene_->Remembered(), "C:\\Mods\\");
    scene_->file_dialog.answer.reset();
    scene_->MakeForm()->OpenModButton_Click();
    QCOMPARE(scene_->file_dialog.requests.back().initial_folder, "C:\\Mods\\");
    // Folders in any script survive the user's settings.
    const std::string folder =
        "C:\\Mods \xC3\xA9t\xC3\xA9 \xD0\x98\xD0\xB3\xD1\x80\xD1\x8B \xF0\x9F\x98\x80\\";
    scene_->settings.Set("Open", "Last directory", folder);
    QCOMPARE(QtSettings().Get("Open", "Last directory", ""), folder);
    QCOMPARE(QSettings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"))
                 .value(QStringLiteral("Open/Last directory"))
                 .toString(),
             QString::fromUtf8(folder));
  }

  void ignoresChoicesThatAreNotListed() {
    const std::string valid = WriteMod("valid.mpi", Package("Valid mod", "Readme"));
    fixtures::MakeFolders(scene_->OnDriveC("Mods/folder.mpi"));
    Choose(valid);
    scene_->settings.Set("Open", "Last directory", "C:\\Before\\");
    for (const char* chosen : {"C:\\Mods\\gone.mpi", "C:\\Mods\\folder.mpi", ""}) Choose(chosen);
    QVERIFY(scene_->messages.boxes.empty());
    QCOMPARE(scene_->Remembered(), "C:\\Before\\");
    QCOMPARE(form_->State().PackagePath, valid);
    ExpectOffered("Valid mod");
  }

  void offersAValidPackageWithItsReadme() {
    const std::string path = WriteMod("first.mpi", Package("First \xE9 mod", "Line one\r\nTwo"));
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
    Choose(WriteMod("second.mpi", Package("Second", "Other readme")));
    QVERIFY(form_->Readme() == readme);
    QCOMPARE(ReadmeShown(), QStringLiteral("Other readme"));
    ExpectOffered("Second");

    // Closing the main window takes the readme with it.
    form_->close();
    QVERIFY(!readme->isVisible() && !readme->isEnabled());
  }

  // A bad choice after a good one: the title goes, the readme stays. The same invalid package,
  // then with no descriptor to open it by (run as root, permissions would not stop the read).
  void refusesAPackageAfterAValidOne() {
    const std::string valid = WriteMod("valid.mpi", Package("Valid mod", "Kept readme"));
    fixtures::MpiPackage package = Package("Bad", "Never shown");
    package.rows[0].type = 9;
    const std::string bad = WriteMod("bad.mpi", package);
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    for (const rlim_t descriptors : {saved.rlim_cur, rlim_t{3}}) {
      Choose(valid);
      rlimit limit = saved;
      limit.rlim_cur = descriptors;
      QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
      Choose(bad);
      QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
      QCOMPARE(form_->State().PackagePath, bad);
      ExpectOffered({});
      QCOMPARE(ReadmeShown(), QStringLiteral("Kept readme"));
      QVERIFY(form_->Readme()->isVisible());
    }
    QCOMPARE(scene_->messages.Errors(),
             (std::vector<std::string>{"Specified MPI file is invalid or corrupted! Make sure you "
                                       "have the latest version of the mod installer.",
                                       "Error opening mod!"}));
  }

  void installsListsAndRemovesTheMod() {
    Choose(WriteMod("valid.mpi", Package("Good mod", "Readme")));
    form_->InstallModButton()->click();
    QCOMPARE(scene_->messages.boxes,
             (std::vector<Box>{{Kind::kPlain, "Mod installation", "Mod installed successfully"}}));
    ExpectOffered({});
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Good mod"));
    QVERIFY(form_->RemoveButton()->isEnabled());

    // Declined: nothing happens. Confirmed: the mod goes and the list follows.
    scene_->messages.boxes.clear();
    scene_->messages.answers = {false, true};
    form_->RemoveButton()->click();
    QCOMPARE(scene_->messages.boxes,
             (std::vector<Box>{{Kind::kConfirm, "Warning",
                                "This will uninstall all the modifications made by the latest "
                                "modpack that you have installed (Good mod). Do you wish to "
                                "continue?"}}));
    QCOMPARE(form_->State().ModLog.ModCount(), 1);
    form_->RemoveButton()->click();
    QCOMPARE(scene_->messages.boxes.size(), size_t{2});
    QCOMPARE(form_->State().ModLog.ModCount(), 0);
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(!form_->RemoveButton()->isEnabled());
  }

  // Steam's file check shortened the archive the mod appended to: Remove latest asks before any
  // write, Cancel leaves every byte and time alone, Start over empties the list.
  void asksWhatToDoWhenTheGameChangedUnderIt() {
    Choose(WriteMod("valid.mpi", Package("Good mod", "Readme")));
    form_->InstallModButton()->click();
    const std::string graphics = scene_->GameHost() + "/Data/graphics.drs";
    std::filesystem::resize_file(graphics, std::filesystem::file_size(graphics) - 1);
    const auto snapshot = [&] {
      std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> files;
      for (const auto& item : std::filesystem::recursive_directory_iterator(scene_->GameHost())) {
        if (item.is_regular_file()) {
          files[item.path().string()] = {fixtures::ReadAll(item.path().string()),
                                         std::filesystem::last_write_time(item.path())};
        }
      }
      return files;
    };
    const auto before = snapshot();
    scene_->messages.boxes.clear();
    scene_->messages.choices_made = {0};
    form_->RemoveButton()->click();
    QCOMPARE(scene_->messages.boxes.size(), size_t{2});
    const Box& asked = scene_->messages.boxes[1];
    QCOMPARE(asked.kind, Kind::kChoose);
    QCOMPARE(asked.title, std::string("Game files changed"));
    QVERIFY(asked.text.find("- graphics.drs is shorter than Tarnwick left it.\n") !=
            std::string::npos);
    QVERIFY(asked.text.find("Steam may have verified the game files") != std::string::npos);
    QCOMPARE(scene_->messages.offered.back(), (std::vector<std::string>{"Cancel", "Start over"}));
    QVERIFY(snapshot() == before);
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Good mod"));

    scene_->messages.boxes.clear();
    scene_->messages.choices_made = {1};
    form_->RemoveButton()->click();
    QCOMPARE(scene_->messages.boxes.back().kind, Kind::kInformation);
    QVERIFY(scene_->messages.boxes.back().text.starts_with("Tarnwick started over"));
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(!form_->RemoveButton()->isEnabled());
  }

  void verifiesTheGameFilesFromTheToolsMenu() {
    QStringList menus;
    for (QAction* action : form_->menuBar()->actions()) menus << action->text();
    QCOMPARE(menus, (QStringList{"Exit", "Tools", "Help"}));
    QVERIFY(form_->findChild<QMenu*>(QStringLiteral("menu_tools")) != nullptr);
    QCOMPARE(form_->MenuToolsVerify()->text(), QStringLiteral("Verify game files"));

    Choose(WriteMod("valid.mpi", Package("Good mod", "Readme")));
    form_->InstallModButton()->click();
    const auto state_of = [&](const QString& name) {
      QTableWidget* table = form_->Verify()->FilesTable();
      for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->text() == name) return table->item(row, 1)->text();
      }
      return QStringLiteral("<not listed>");
    };
    form_->MenuToolsVerify()->trigger();
    QVERIFY(form_->Verify() != nullptr && form_->Verify()->isVisible());
    QCOMPARE(state_of("graphics.drs"), QStringLiteral("as Tarnwick left it"));
    QCOMPARE(state_of("graphics_x1.drs"), QStringLiteral("as Tarnwick left it"));
    QTableWidget* mods = form_->Verify()->ModsTable();
    QCOMPARE(mods->rowCount(), 1);
    QCOMPARE(mods->item(0, 1)->text(), QStringLiteral("Good mod"));
    QCOMPARE(mods->item(0, 2)->text(), QStringLiteral("kept"));

    const std::string graphics = scene_->GameHost() + "/Data/graphics.drs";
    fixtures::WriteAll(graphics, fixtures::ReadAll(graphics) + "appended");
    std::filesystem::remove(scene_->GameHost() + "/Data/graphics_x1.drs");
    form_->MenuToolsVerify()->trigger();
    QCOMPARE(state_of("graphics.drs"), QStringLiteral("changed since"));
    QCOMPARE(state_of("graphics_x1.drs"), QStringLiteral("missing"));
    QVERIFY(form_->Verify()->Summary()->text().contains("Steam may have verified"));
  }

  // The real box: plain text, one button per choice, Escape gives the default.
  void choiceBoxOffersEachChoiceAndEscapeCancels() {
    QtMessages messages;
    messages.SetOwner(form_.get());
    QStringList shown;
    const auto answer = [&](const QString& click) {
      QTimer::singleShot(0, [&, click] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        shown.clear();
        for (QAbstractButton* button : box->buttons()) shown << button->text();
        QCOMPARE(box->textFormat(), Qt::PlainText);
        for (QAbstractButton* button : box->buttons()) {
          if (button->text() == click) return button->click();
        }
        QTest::keyClick(box, Qt::Key_Escape);
      });
    };
    const std::vector<std::string> choices = {"Cancel", "Start over", "Carry on"};
    answer("Start over");
    QCOMPARE(messages.Choose("Game files changed", "<b>graphics.drs</b>", choices, 0), 1);
    QCOMPARE(shown.size(), 3);
    answer({});
    QCOMPARE(messages.Choose("Game files changed", "text", choices, 0), 0);
  }

  void keepsThePackageAfterAFailedInstall() {
    // The second resource names an id the archive lacks: the first stays applied and listed.
    fixtures::MpiPackage package = Package("Half mod", "Readme");
    package.rows.push_back({1, 0, 424242, "new bytes", {}, {}});
    Choose(WriteMod("half.mpi", package));
    form_->InstallModButton()->click();
    QVERIFY(scene_->messages.boxes.size() == 1 && scene_->messages.boxes[0].kind == Kind::kError);
    ExpectOffered("Half mod");
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Half mod (incomplete)"));
  }

  // Titles and names from files are text, never markup.
  void showsFileTextsAsTheyAre() {
    const std::string markup = "<b>Bold</b> &lt;i&gt; <br>x";
    Choose(WriteMod("markup.mpi", Package(markup, "Readme")));
    form_->InstallModButton()->click();
    Choose(WriteMod("markup.mpi", Package(markup, "Readme")));
    for (QLabel* label : {form_->TitleBox(), form_->ModsInstalledBox()}) {
      QCOMPARE(label->textFormat(), Qt::PlainText);
      QCOMPARE(label->text(), QString::fromStdString(markup));
    }
  }

  // The dialog's buffer of 256 characters holds 255 and the terminating zero, counted as Windows
  // counts them (UTF-16 units, one per Cyrillic letter).
  void refusesAPathTheBufferCannotHold() {
    const std::string folder = [] {
      std::string name;
      for (int i = 0; i < 120; ++i) name += "\xD1\x8F";
      return name;
    }();
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
    Choose(write(255));
    ExpectOffered("Long path");
    QCOMPARE(scene_->Remembered(), "C:\\Mods\\" + folder + "\\");
    QVERIFY(scene_->messages.boxes.empty());
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

  void hasAToolsMenuBesideExitAndHelp() {
    QStringList bar;
    for (QAction* action : form_->menuBar()->actions()) bar << action->text();
    QCOMPARE(bar, (QStringList{"Exit", "Tools", "Help"}));
    QCOMPARE(form_->MenuTools()->objectName(), QStringLiteral("menu_tools"));
    QCOMPARE(form_->MenuTools()->actions(),
             (QList<QAction*>{form_->MenuToolsChooseGame(), form_->MenuToolsManage(),
                              form_->MenuToolsVerify()}));
    QCOMPARE(form_->MenuToolsChooseGame()->text(), QStringLiteral("Choose game\u2026"));
  }
};

}  // namespace tarnwick::testing

namespace tarnwick::testing {
int RunManageWindowTests(int argc, char** argv);  // manage_window_test.cpp
}  // namespace tarnwick::testing

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The real settings store must not touch the user's own.
  QTemporaryDir config;
  ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  QApplication application(argc, argv);
  tarnwick::testing::StartupTest startup;
  tarnwick::testing::WindowTest window;
  tarnwick::testing::GameChoiceTest choice;
  const int failed = QTest::qExec(&startup, argc, argv) + QTest::qExec(&window, argc, argv) +
                     QTest::qExec(&choice, argc, argv) +
                     tarnwick::testing::RunManageWindowTests(argc, argv);
  return failed == 0 ? 0 : 1;
}

#include "app_test.moc"
