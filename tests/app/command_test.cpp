#include <sys/resource.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/installer_form.h"
#include "app/qt_services.h"
#include "app/readme_form.h"
#include "app_scene.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"

namespace tarnwick::testing {
namespace {

using Box = fixtures::RecordingMessages::Box;
using Kind = fixtures::RecordingMessages::Kind;

constexpr char kInvalidPackage[] =
    "Specified MPI file is invalid or corrupted! Make sure you have the latest version of the mod "
    "installer.";

// A graphic that the game's graphics.drs already has, so that an install can redirect it.
fixtures::MpiRow GraphicRow() {
  for (const fixtures::DrsTable& table : fixtures::GameArchiveTables(1)) {
    for (const fixtures::DrsResource& resource : table.resources) {
      if (resource.id <= 3261) return {1, 1, resource.id, "new graphic bytes", {}, {}};
    }
  }
  return {};
}

fixtures::MpiPackage Package(const std::string& title, const std::string& readme) {
  fixtures::MpiPackage package;
  package.title = title;
  package.readme = readme;
  package.rows = {GraphicRow()};
  return package;
}

QString ReadmeShown(InstallerForm& form) {
  return form.Readme() == nullptr ? QString() : form.Readme()->ReadmeText()->toPlainText();
}

}  // namespace

class CommandTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<Scene> scene_;
  std::unique_ptr<InstallerForm> form_;

  // Writes the package at C:\Mods\<name> and returns its program path.
  std::string WriteMod(const std::string& name, const fixtures::MpiPackage& package) {
    const bool written =
        scene_->WriteFile(scene_->OnDriveC("Mods\\" + name), fixtures::BuildMpi(package));
    return written ? "C:\\Mods\\" + name : std::string("<unwritten>");
  }

  void Choose(const std::string& path) {
    scene_->file_dialog.answer = path;
    form_->OpenModButton()->click();
  }

  std::string MakeModsLogHost() const { return scene_->DataHost() + "/mods.log"; }

 private slots:
  void init() {
    scene_ = std::make_unique<Scene>(Scene::BothKeys());
    QVERIFY(scene_->InstallGame(true));
    form_ = scene_->MakeForm();
    QVERIFY2(!form_->Form_Load(), scene_->Shown().constData());
    form_->show();
  }
  void cleanup() {
    form_.reset();
    scene_.reset();
  }

  void asksForAPackageInTheRememberedFolder() {
    form_->OpenModButton()->click();  // cancelled
    QCOMPARE(scene_->file_dialog.requests.size(), size_t{1});
    const OpenFileRequest& first = scene_->file_dialog.requests[0];
    QCOMPARE(first.initial_folder, std::string("C:\\"));
    QCOMPARE(first.title, std::string("Select mod to install"));
    QCOMPARE(first.filter_name, std::string("Mod Project Installation files (*.mpi)"));
    QCOMPARE(first.filter_pattern, std::string("*.MPI"));
    QCOMPARE(first.max_path, size_t{256});
    QVERIFY(scene_->settings.values.empty());
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("[none]"));

    // Remembered even for a broken package, and by a window made later.
    fixtures::MpiPackage broken = Package("Broken", "x");
    broken.magic = "MPI 9.9 ";
    Choose(WriteMod("broken.mpi", broken));
    QCOMPARE(scene_->settings.Get("Open", "Last directory", ""), std::string("C:\\Mods\\"));
    auto later = scene_->MakeForm();
    scene_->file_dialog.answer.reset();
    later->OpenModButton_Click();
    QCOMPARE(scene_->file_dialog.requests.back().initial_folder, std::string("C:\\Mods\\"));
  }

  void ignoresChoicesThatAreNotListed_data() {
    QTest::addColumn<QString>("chosen");
    QTest::newRow("missing file") << QStringLiteral("C:\\Mods\\gone.mpi");
    QTest::newRow("hidden file") << QStringLiteral("C:\\Mods\\.hidden.mpi");
    QTest::newRow("folder") << QStringLiteral("C:\\Mods\\folder.mpi");
    QTest::newRow("empty") << QString();
  }
  void ignoresChoicesThatAreNotListed() {
    QFETCH(QString, chosen);
    const std::string valid = WriteMod("valid.mpi", Package("Valid mod", "Readme"));
    WriteMod(".hidden.mpi", Package("Hidden mod", "Hidden"));
    fixtures::MakeFolders(scene_->OnDriveC("Mods\\folder.mpi"));
    Choose(valid);
    scene_->settings.values.clear();

    Choose(chosen.toStdString());
    QVERIFY(scene_->messages.boxes.empty());
    QVERIFY(scene_->settings.values.empty());
    QCOMPARE(form_->State().PackagePath, valid);
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("Valid mod"));
    QVERIFY(form_->InstallModButton()->isEnabled());
  }

  void offersAValidPackageWithItsReadme() {
    const std::string path = WriteMod("first.mpi", Package("First \xE9 mod", "Line one\r\nTwo"));
    Choose(path);
    QVERIFY(scene_->messages.boxes.empty());
    QCOMPARE(form_->State().PackagePath, path);
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("First \u00E9 mod"));
    QVERIFY(form_->InstallModButton()->isEnabled());
    QVERIFY(form_->ReadmeButton()->isEnabled());
    ReadmeForm* readme = form_->Readme();
    QVERIFY(readme != nullptr);
    QVERIFY(readme->isVisible());
    QVERIFY(readme->ReadmeText()->isReadOnly());
    QCOMPARE(readme->windowTitle(), QStringLiteral("Readme file"));
    QCOMPARE(ReadmeShown(*form_), QStringLiteral("Line one\nTwo"));

    // "Close readme" only hides it; the button brings the same text back.
    readme->CloseButton()->click();
    QVERIFY(!readme->isVisible());
    form_->ReadmeButton()->click();
    QVERIFY(readme->isVisible());
    QCOMPARE(ReadmeShown(*form_), QStringLiteral("Line one\nTwo"));

    // The same package again, then another: one window, showing the latest readme.
    Choose(path);
    QVERIFY(form_->Readme() == readme);
    QVERIFY(readme->isVisible());
    Choose(WriteMod("second.mpi", Package("Second", "Other readme")));
    QVERIFY(form_->Readme() == readme);
    QCOMPARE(ReadmeShown(*form_), QStringLiteral("Other readme"));
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("Second"));
  }

  void refusesAnInvalidPackageAfterAValidOne() {
    Choose(WriteMod("valid.mpi", Package("Valid mod", "Kept readme")));
    fixtures::MpiPackage invalid = Package("Invalid", "Never shown");
    invalid.rows[0].type = 9;
    const std::string invalid_path = WriteMod("invalid.mpi", invalid);
    Choose(invalid_path);
    QCOMPARE(scene_->messages.boxes, (std::vector<Box>{{Kind::kError, "Error", kInvalidPackage}}));
    QCOMPARE(form_->State().PackagePath, invalid_path);
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("[none]"));
    QVERIFY(!form_->InstallModButton()->isEnabled());
    QVERIFY(!form_->ReadmeButton()->isEnabled());
    QCOMPARE(ReadmeShown(*form_), QStringLiteral("Kept readme"));
    QVERIFY(form_->Readme()->isVisible());

    // A cancel afterwards changes nothing.
    scene_->file_dialog.answer.reset();
    form_->OpenModButton()->click();
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("[none]"));
    QCOMPARE(scene_->messages.boxes.size(), size_t{1});
  }

  void reportsAPackageThatCannotBeOpened() {
    Choose(WriteMod("valid.mpi", Package("Valid mod", "Readme")));
    const std::string path = WriteMod("locked.mpi", Package("Locked", "Locked readme"));
    // No descriptor can be had (run as root, permissions would not stop the read).
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 3;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &none), 0);
    Choose(path);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    QCOMPARE(scene_->messages.Errors(), std::vector<std::string>{"Error opening mod!"});
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("[none]"));
    QVERIFY(!form_->InstallModButton()->isEnabled());
    QVERIFY(!form_->ReadmeButton()->isEnabled());
    QCOMPARE(ReadmeShown(*form_), QStringLiteral("Readme"));
  }

  void installsAndListsTheMod() {
    Choose(WriteMod("valid.mpi", Package("Good mod", "Readme")));
    form_->InstallModButton()->click();
    QCOMPARE(scene_->messages.boxes,
             (std::vector<Box>{{Kind::kPlain, "Mod installation", "Mod installed successfully"}}));
    QCOMPARE(form_->InstallModButton()->text(), QStringLiteral("Install"));
    QVERIFY(!form_->InstallModButton()->isEnabled());
    QVERIFY(!form_->ReadmeButton()->isEnabled());
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("[none]"));
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Good mod\n"));
    QVERIFY(form_->RemoveButton()->isEnabled());

    // Declined: nothing happens. Confirmed: the mod goes and the list follows.
    const std::string graphics = scene_->DataHost() + "/graphics.drs";
    const auto installed_size = std::filesystem::file_size(graphics);
    scene_->messages.boxes.clear();
    scene_->messages.answers = {false, true};
    form_->RemoveButton()->click();
    QCOMPARE(scene_->messages.boxes,
             (std::vector<Box>{{Kind::kConfirm, "Warning",
                                "This will uninstall all the modifications made by the latest "
                                "modpack that you have installed (Good mod). Do you wish to "
                                "continue?"}}));
    QCOMPARE(form_->State().ModLog.ModCount(), 1);
    QCOMPARE(std::filesystem::file_size(graphics), installed_size);
    form_->RemoveButton()->click();
    QCOMPARE(scene_->messages.boxes.size(), size_t{2});
    QCOMPARE(form_->State().ModLog.ModCount(), 0);
    QVERIFY(std::filesystem::file_size(graphics) < installed_size);
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(!form_->RemoveButton()->isEnabled());
  }

  void keepsThePackageAfterAFailedInstall() {
    // The second resource names an id the archive lacks: the first stays applied and listed.
    fixtures::MpiPackage package = Package("Half mod", "Readme");
    fixtures::MpiRow missing = GraphicRow();
    missing.target = 0;
    missing.id = 424242;
    package.rows.push_back(missing);
    Choose(WriteMod("half.mpi", package));
    form_->InstallModButton()->click();
    QCOMPARE(scene_->messages.boxes.size(), size_t{1});
    QCOMPARE(scene_->messages.boxes[0].kind, Kind::kError);
    QCOMPARE(form_->InstallModButton()->text(), QStringLiteral("Install"));
    QVERIFY(form_->InstallModButton()->isEnabled());
    QVERIFY(form_->ReadmeButton()->isEnabled());
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("Half mod"));
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Half mod (incomplete)\n"));
    QCOMPARE(form_->State().ModLog.ModCount(), 1);
  }

  void closesTheReadmeWithTheWindow() {
    Choose(WriteMod("valid.mpi", Package("Valid mod", "Readme")));
    ReadmeForm* readme = form_->Readme();
    QVERIFY(readme->isVisible());
    form_->close();
    QVERIFY(!form_->isVisible());
    QVERIFY(!readme->isVisible());
    QVERIFY(!readme->isEnabled());
  }

  void keepsTheRememberedFolderInTheUsersSettings() {
    QtSettings settings;
    QCOMPARE(settings.Get("Open", "Last directory", "C:\\"), std::string("C:\\"));
    settings.Set("Open", "Last directory", "C:\\Mods \xE9t\xE9\\");
    QtSettings again;
    QCOMPARE(again.Get("Open", "Last directory", "C:\\"), std::string("C:\\Mods \xE9t\xE9\\"));
  }
};

int RunCommandTests(int argc, char** argv) {
  CommandTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tarnwick::testing

#include "command_test.moc"
