#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "app/installer_form.h"
#include "app/twips.h"
#include "app_scene.h"

namespace tarnwick::testing {
namespace {

using Kind = fixtures::RecordingMessages::Kind;

ModLogEntry Mod(const std::string& name) {
  ModLogEntry entry;
  entry.Name = name;
  return entry;
}

}  // namespace

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

 private slots:
  void init() {
    scene_ = std::make_unique<Scene>(Scene::BothKeys());
    QVERIFY(scene_->InstallGame(true));
    form_ = scene_->MakeForm();
    QVERIFY2(!form_->Form_Load(), scene_->Shown().constData());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() {
    form_.reset();
    scene_.reset();
  }

  void startsAsDesigned() {
    QCOMPARE(form_->centralWidget()->size(), QSize(424, 231));
    QCOMPARE(form_->centralWidget()->palette().color(QPalette::Window), QColor(0, 0, 128));
    const struct {
      QWidget* control;
      TwipRect rect;
    } design[] = {
        {form_->OpenModButton(), {120, 120, 1095, 375}},
        {form_->InstallModButton(), {120, 480, 1095, 375}},
        {form_->ReadmeButton(), {1440, 120, 1095, 735}},
        {form_->Labels(1), {120, 960, 1455, 240}},
        {form_->TitleBox(), {240, 1200, 2295, 840}},
    };
    for (const auto& [control, rect] : design) {
      QCOMPARE(PlacedAt(control), rect);
      QCOMPARE(control->geometry(), QRect(ToPixels(rect.left), ToPixels(rect.top),
                                          ToPixels(rect.width), ToPixels(rect.height)));
    }
    const TwipRect heading = PlacedAt(form_->Labels(0));
    QCOMPARE(QRect(heading.left, heading.top, 0, heading.height), QRect(2760, 120, 0, 255));
    QVERIFY(heading.width >= 1455);
    QVERIFY(ToPixels(heading.width) >= form_->Labels(0)->sizeHint().width());
    QCOMPARE(form_->Line1()->geometry().topLeft(), QPoint(176, 8));
    QCOMPARE(form_->Line1()->palette().color(QPalette::Window), QColor(192, 192, 255));

    QCOMPARE(form_->OpenModButton()->text(), QStringLiteral("Open mod"));
    QCOMPARE(form_->ReadmeButton()->text(), QStringLiteral("Display readme for mod"));
    QCOMPARE(form_->Labels(0)->text(), QStringLiteral("Mods installed:"));
    QVERIFY(form_->Labels(0)->font().bold());
    QVERIFY(form_->TitleBox()->font().bold());
    QCOMPARE(form_->TitleBox()->font().pointSizeF(), 9.75);
    QCOMPARE(form_->TitleBox()->text(), QStringLiteral("[none]"));
    QCOMPARE(form_->TitleBox()->palette().color(QPalette::WindowText), QColor(Qt::white));
    QVERIFY(form_->OpenModButton()->isEnabled());
    QVERIFY(!form_->InstallModButton()->isEnabled());
    QVERIFY(!form_->ReadmeButton()->isEnabled());
    QVERIFY(!form_->RemoveButton()->isEnabled());

    // "Exit" is a command on the bar itself; "Help" opens a menu.
    const QList<QAction*> bar = form_->menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0]->text(), QStringLiteral("Exit"));
    QVERIFY(bar[0]->menu() == nullptr);
    QCOMPARE(bar[1]->text(), QStringLiteral("Help"));
    QVERIFY(bar[1]->menu() != nullptr);
    QCOMPARE(bar[1]->menu()->actions().size(), 2);
    QCOMPARE(bar[1]->menu()->actions()[0]->text(), QStringLiteral("Help"));
    QCOMPARE(bar[1]->menu()->actions()[1]->text(), QStringLiteral("About"));
  }

  void listsModsNewestFirst() {
    const int outer_width = ToTwips(form_->frameGeometry().width());
    form_->UpdateModBox();
    const TwipRect empty = PlacedAt(form_->ModsInstalledBox());
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QCOMPARE(empty.width, outer_width - 2800);
    QCOMPARE(PlacedAt(form_->RemoveButton()).top, empty.top + empty.height);

    ModLog& log = form_->State().ModLog;
    log.Mods.push_back(Mod("Oldest"));
    log.Mods.push_back(Mod("Middle"));
    log.Mods.push_back(Mod("Newest \xE9"));
    form_->UpdateModBox();
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("Newest \u00E9\nMiddle\nOldest\n"));
    QVERIFY(form_->RemoveButton()->isEnabled());
    const TwipRect three = PlacedAt(form_->ModsInstalledBox());
    QCOMPARE(three.width, outer_width - 2800);
    QVERIFY(three.height >= 3 * empty.height);
    QCOMPARE(PlacedAt(form_->RemoveButton()).top, three.top + three.height);
    QCOMPARE(form_->RemoveButton()->geometry().top(), ToPixels(three.top + three.height));

    log.Mods.clear();
    form_->UpdateModBox();
    QCOMPARE(form_->ModsInstalledBox()->text(), QStringLiteral("None"));
    QVERIFY(!form_->RemoveButton()->isEnabled());
  }

  void keepsRemoveButtonInsideTheWindow() {
    ModLog& log = form_->State().ModLog;
    for (int i = 0; i < 30; ++i) log.Mods.push_back(Mod("Mod number " + std::to_string(i)));
    form_->UpdateModBox();
    const int outer_height = ToTwips(form_->frameGeometry().height());
    QCOMPARE(PlacedAt(form_->RemoveButton()).top, outer_height - 375);
  }

  void followsResizes() {
    ShowResized(300, 200);  // 4500 x 3000 twips
    TwipRect box = PlacedAt(form_->ModsInstalledBox());
    QCOMPARE(box.width, 4500 - 2800);
    QCOMPARE(PlacedAt(form_->RemoveButton()).top, box.top + box.height);
    QCOMPARE(form_->Line1Y2(), 3000 - 105);

    // At 3000 twips or less the list keeps its width.
    ShowResized(200, 200);
    QCOMPARE(PlacedAt(form_->ModsInstalledBox()).width, 4500 - 2800);
    ShowResized(201, 200);
    QCOMPARE(PlacedAt(form_->ModsInstalledBox()).width, 3015 - 2800);

    // Shorter than the list: the button's bottom edge stays at the bottom.
    ShowResized(300, 30);
    QCOMPARE(PlacedAt(form_->RemoveButton()).top, 450 - 375);
    QCOMPARE(form_->Line1Y2(), 450 - 105);
    // At 200 twips or less the line keeps its end.
    ShowResized(300, 13);
    QCOMPARE(form_->Line1Y2(), 450 - 105);
    QCOMPARE(PlacedAt(form_->RemoveButton()).top, 195 - 375);

    // Left column and labels never move.
    QCOMPARE(PlacedAt(form_->OpenModButton()), (TwipRect{120, 120, 1095, 375}));
    QCOMPARE(PlacedAt(form_->Labels(1)), (TwipRect{120, 960, 1455, 240}));
  }

  void outerWidthAfterUpdateExceedsInnerAfterResize() {
    ShowResized(400, 231);
    const int after_resize = PlacedAt(form_->ModsInstalledBox()).width;
    form_->UpdateModBox();
    const int after_update = PlacedAt(form_->ModsInstalledBox()).width;
    QCOMPARE(after_resize, 6000 - 2800);
    QCOMPARE(after_update, ToTwips(form_->frameGeometry().width()) - 2800);
    QVERIFY(after_update >= after_resize);
  }

  void answersHelpAboutAndExit() {
    form_->MenuHelpHelp()->trigger();
    form_->MenuHelpAbout()->trigger();
    QCOMPARE(scene_->messages.boxes.size(), size_t{2});
    const auto& help = scene_->messages.boxes[0];
    QCOMPARE(help.kind, Kind::kInformation);
    QCOMPARE(help.title, std::string("Help"));
    QVERIFY(help.text.starts_with(
        "For instructions on the usage of this program, see the description of the 'Tarnwick' in "
        "the 'Downloads...Utilities' section of https://"));
    const auto& about = scene_->messages.boxes[1];
    QCOMPARE(about.kind, Kind::kInformation);
    QCOMPARE(about.title, std::string("About"));
    QVERIFY(about.text.starts_with("Tarnwick by "));
    QVERIFY(about.text.ends_with(") - unsupported beta version - very buggy!"));
    QVERIFY(about.text.find(" (") != std::string::npos);

    form_->MenuExit()->trigger();
    QVERIFY(!form_->isVisible());
  }
};

int RunWindowTests(int argc, char** argv) {
  WindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tarnwick::testing

#include "window_test.moc"
