#include "app/installer_form.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <algorithm>

#include "app/about_texts.h"
#include "app/changes_window.h"
#include "app/manage_window.h"
#include "app/qt_services.h"
#include "app/readme_form.h"
#include "app/twips.h"
#include "app/verify_window.h"
#include "common/main_window_layout.h"
#include "manage/change_table.h"
#include "manage/face_texts.h"
#include "manage/game_session.h"
#include "manage/install_package.h"
#include "manage/open_game.h"
#include "manage/package_contents.h"
#include "manage/remove_any.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/text_codec.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

constexpr char kNoPackage[] = "[none]";
// The install the player chose, by its InstallKey.
constexpr char kGameSection[] = "Game";
constexpr char kInstallSetting[] = "Install";

// A push button whose caption wraps at its width, as the readme button's two-line caption needs.
class WrappingButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this) / 2;
    style()->drawItemText(&painter, rect().adjusted(margin, 0, -margin, 0),
                          Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), text(),
                          QPalette::ButtonText);
  }
};

FittingLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                        bool wraps) {
  auto* label = new FittingLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  label->setWordWrap(wraps);
  // Titles and mod names come from files: shown as they are, never read as markup.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setAutoFillBackground(false);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::white);
  palette.setColor(QPalette::Disabled, QPalette::WindowText, Qt::white);
  label->setPalette(palette);
  return label;
}

QPushButton* MakeButton(QPushButton* button, const char* name, const TwipRect& rect) {
  button->setObjectName(QString::fromLatin1(name));
  button->setFont(ArialFont(9));
  button->setAutoDefault(false);
  Place(button, rect);
  return button;
}

std::string StartBanner() {
  const QByteArray now =
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
  return std::string(40, '#') + " " + now.toStdString() + " -- Starting mod installer";
}

}  // namespace

InstallerForm::InstallerForm(Messages& messages, FileDialog& file_dialog, Settings& settings,
                             Progress* progress, InstallChooser* chooser)
    : messages_(messages),
      file_dialog_(file_dialog),
      settings_(settings),
      progress_(progress),
      chooser_(chooser != nullptr ? chooser : &own_chooser_) {
  own_chooser_.SetOwner(this);
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setFont(ArialFont(9));

  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("InstallerFormClient"));
  client_->setAutoFillBackground(true);
  QPalette palette = client_->palette();
  palette.setColor(QPalette::Window, QColor(0, 0, 128));
  client_->setPalette(palette);
  setCentralWidget(client_);
  client_->installEventFilter(this);

  open_mod_button_ = MakeButton(new QPushButton(QStringLiteral("Open mod"), client_),
                                "OpenModButton", {120, 120, 1095, 375});
  install_mod_button_ = MakeButton(new QPushButton(QStringLiteral("Install"), client_),
                                   "InstallModButton", {120, 480, 1095, 375});
  install_mod_button_->setEnabled(false);
  readme_button_ = MakeButton(new WrappingButton(QStringLiteral("Display readme for mod"), client_),
                              "ReadmeButton", {1440, 120, 1095, 735});
  readme_button_->setEnabled(false);

  labels_[1] = MakeLabel(client_, "Labels1", QStringLiteral("Current mod:"), ArialFont(9.75), true);
  Place(labels_[1], {120, 960, 1455, 240});
  title_box_ =
      MakeLabel(client_, "TitleBox", QString::fromLatin1(kNoPackage), ArialFont(9.75, true), true);
  Place(title_box_, {240, 1200, 2295, 840});

  line1_ = new QWidget(client_);
  line1_->setObjectName(QStringLiteral("Line1"));
  line1_->setAutoFillBackground(true);
  QPalette line_palette = line1_->palette();
  line_palette.setColor(QPalette::Window, QColor(192, 192, 255));
  line1_->setPalette(line_palette);
  PlaceLine1();

  labels_[0] = MakeLabel(client_, "Labels0", QStringLiteral("Mods installed:"),
                         ArialFont(9.75, true), false);
  // Without Arial's narrow metrics the heading would be cut off; it may grow to the right.
  Place(labels_[0], {2760, 120, std::max(1455, ToTwips(labels_[0]->sizeHint().width())), 255});
  mods_installed_box_ = MakeLabel(client_, "ModsInstalledBox", QString(), ArialFont(9.75), true);
  mods_installed_box_->installEventFilter(this);
  Place(mods_installed_box_, {2760, 360, 3540, 240});
  remove_button_ = MakeButton(new QPushButton(QStringLiteral("Remove latest"), client_),
                              "RemoveButton", {2760, 600, 1335, 375});
  remove_button_->setEnabled(false);

  menu_exit_ = menuBar()->addAction(QStringLiteral("Exit"));
  menu_exit_->setObjectName(QStringLiteral("menu_exit"));
  // What the program does beyond the original window; each tool is one item here.
  menu_tools_ = menuBar()->addMenu(QStringLiteral("Tools"));
  menu_tools_->setObjectName(QStringLiteral("menu_tools"));
  menu_tools_choose_game_ =
      AddToolsItem("menu_tools_choose_game", QStringLiteral("Choose game\u2026"),
                   &InstallerForm::menu_tools_choose_game_Click);
  menu_tools_manage_ = AddToolsItem("menu_tools_manage", QStringLiteral("Manage mods..."),
                                    &InstallerForm::menu_tools_manage_Click);
  menu_tools_verify_ = AddToolsItem("menu_tools_verify", QStringLiteral("Verify game files"),
                                    &InstallerForm::menu_tools_verify_Click);
  menu_tools_changes_ = AddToolsItem("menu_tools_changes", QStringLiteral("What it changes\u2026"),
                                     &InstallerForm::menu_tools_changes_Click);
  menu_tools_changes_->setEnabled(false);
  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("menu_help"));
  menu_help_help_ = help->addAction(QStringLiteral("Help"));
  menu_help_help_->setObjectName(QStringLiteral("menu_help_help"));
  menu_help_about_ = help->addAction(QStringLiteral("About"));
  menu_help_about_->setObjectName(QStringLiteral("menu_help_about"));

  connect(open_mod_button_, &QPushButton::clicked, this, [this] { OpenModButton_Click(); });
  connect(install_mod_button_, &QPushButton::clicked, this, [this] { InstallModButton_Click(); });
  connect(readme_button_, &QPushButton::clicked, this, [this] { ReadmeButton_Click(); });
  connect(remove_button_, &QPushButton::clicked, this, [this] { RemoveButton_Click(); });
  connect(menu_exit_, &QAction::triggered, this, [this] { menu_exit_Click(); });
  connect(menu_help_help_, &QAction::triggered, this, [this] { menu_help_help_Click(); });
  connect(menu_help_about_, &QAction::triggered, this, [this] { menu_help_about_Click(); });

  resize(ToPixels(kClientWidth), ToPixels(kClientHeight) + menuBar()->sizeHint().height());
}

InstallerForm::~InstallerForm() = default;

QAction* InstallerForm::AddToolsItem(const char* name, const QString& text,
                                     void (InstallerForm::*handler)()) {
  QAction* item = menu_tools_->addAction(text);
  item->setObjectName(QString::fromLatin1(name));
  connect(item, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  return item;
}

void InstallerForm::SetTitleSuffix() {
  setWindowTitle(QString::fromLatin1(kProgramTitle) +
                 QString::fromLatin1(state_.CCPresent ? " - CC found" : " - CC not found"));
}

void InstallerForm::TakeGame(const GameInstall* install, const OpenedGame& game, ModLog log) {
  install_ = install != nullptr ? *install : GameInstall();
  state_.GamePath = game.GamePath;
  state_.DataPath = game.DataPath;
  state_.CCPresent = game.CCPresent;
  state_.GameFiles = game.GameFiles;
  state_.ModLog = std::move(log);
}

bool InstallerForm::Form_Load() {
  TraceLog(StartBanner());
  const std::vector<GameInstall> installs = FindInstalls(ChosenGameLocation());
  const InstallPick pick = PickInstall(installs, settings_.Get(kGameSection, kInstallSetting, ""));
  std::optional<size_t> index = pick.index;
  if (pick.ask) {
    // Not choosing starts on the first one found, and asks again next time.
    if (const std::optional<size_t> chosen = chooser_->ChooseInstall(installs, *index)) {
      index = chosen;
      settings_.Set(kGameSection, kInstallSetting, InstallKey(installs[*index]));
    }
  }
  const GameInstall* install = index ? &installs[*index] : nullptr;
  OpenedGame game;
  const OpenGameResult result = OpenGame(install, game);
  TakeGame(install, game, ModLog());
  SetTitleSuffix();
  if (result != OpenGameResult::kOpened) {
    messages_.Error(OpenGameMessage(result));
    TraceLog(OpenGameTrace(result));
    close();
    return true;
  }
  state_.ModLog.LogPath = state_.DataPath + "mods.log";
  if (ReadModLog(state_.ModLog, state_.GameFiles, messages_)) {
    close();
    return true;
  }
  UpdateModBox();
  OfferToFinishRemoval();
  return false;
}

void InstallerForm::OfferToFinishRemoval() {
  PendingRemoval pending;
  if (!FindPendingRemoval(state_.ModLog.LogPath, pending)) return;
  if (messages_.Confirm(kRemoveAnyTitle, ResumeQuestion(pending))) {
    if (ResumeRemoval(state_.ModLog, state_.GameFiles, state_.CCPresent, messages_, progress_) ==
        RemovalOutcome::kPlanStale) {
      messages_.Plain(kRemoveAnyTitle, kRemovalCutOffStale);
    }
  } else {
    // The stack is valid as it stands; Remove latest works on it.
    AbandonRemoval(state_.ModLog.LogPath);
  }
  (void)ReadModLog(state_.ModLog, state_.GameFiles, messages_);
  UpdateModBox();
}

void InstallerForm::menu_tools_manage_Click() {
  ManageWindow window(state_, messages_, file_dialog_, settings_, progress_, this);
  window.exec();
  UpdateModBox();
}

void InstallerForm::menu_tools_choose_game_Click() {
  const std::vector<GameInstall> installs = FindInstalls(ChosenGameLocation());
  if (installs.empty()) {
    messages_.Error(OpenGameMessage(OpenGameResult::kNoGame));
    return;
  }
  const InstallPick pick = PickInstall(installs, InstallKey(install_));
  const std::optional<size_t> chosen = chooser_->ChooseInstall(installs, pick.index.value_or(0));
  if (!chosen) return;
  const GameInstall& install = installs[*chosen];
  OpenedGame game;
  ModLog log;
  const OpenGameResult result = OpenGame(&install, game);
  if (result != OpenGameResult::kOpened) {
    messages_.Error(OpenGameMessage(result));
    TraceLog(OpenGameTrace(result));
  } else {
    log.LogPath = game.DataPath + "mods.log";
  }
  // A game that cannot be opened leaves the window on the one it had.
  if (result != OpenGameResult::kOpened || ReadModLog(log, game.GameFiles, messages_)) {
    SetWinePrefix(install_.prefix);
    return;
  }
  settings_.Set(kGameSection, kInstallSetting, InstallKey(install));
  TakeGame(&install, game, std::move(log));
  SetTitleSuffix();
  state_.PackagePath.clear();
  state_.PackageHeader = PackageHeader();
  ShowNoPackage();
  if (readme_) readme_->close();
  UpdateModBox();
}

void InstallerForm::SetWrappedText(QLabel* label, const QString& text) {
  label->setText(text);
  TwipRect rect = PlacedAt(label);
  rect.height = FittedHeight(label, rect.width);
  Place(label, rect);
}

void InstallerForm::UpdateModBox() {
  const ModLog& log = state_.ModLog;
  std::string text;
  if (log.ModCount() == 0) {
    text = "None";
    remove_button_->setEnabled(false);
  } else {
    for (int32_t i = log.ModCount(); i >= 1; --i) text += log.Mods[i].Name + "\r\n";
    remove_button_->setEnabled(true);
  }
  // The window's outer size, frame and menu bar included, as the list has always been laid out.
  const QRect outer = frameGeometry();
  const int outer_width = ToTwips(outer.width());
  const int outer_height = ToTwips(outer.height());
  TwipRect box = PlacedAt(mods_installed_box_);
  // A window narrower than the margin would leave no width at all; keep one pixel.
  box.width = std::max(outer_width - kListMargin, kTwipsPerPixel);
  Place(mods_installed_box_, box);
  QString shown = FromGameText(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  // The last name's line end would show as an empty line between the list and its button.
  if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  mods_installed_box_->setText(shown);
  box.height = ListHeight(box.width);
  Place(mods_installed_box_, box);
  ClipList();

  TwipRect remove = PlacedAt(remove_button_);
  remove.top = box.top + box.height;
  if (remove.top + remove.height > outer_height) remove.top = outer_height - remove.height;
  Place(remove_button_, remove);
}

int InstallerForm::ListHeight(int width_twips) {
  // Nothing of the list below the window's outer height shows, and a list that reaches it puts the
  // Remove button at the window's bottom, whatever its whole height.
  bool whole = true;
  const int pixels =
      mods_installed_box_->HeightFilling(ToPixels(width_twips), frameGeometry().height(), &whole);
  list_height_whole_ = whole;
  return ToTwips(pixels > 0 ? pixels : mods_installed_box_->sizeHint().height());
}

void InstallerForm::FitWholeList() {
  whole_fit_posted_ = false;
  if (list_height_whole_) return;
  TwipRect box = PlacedAt(mods_installed_box_);
  box.height = FittedHeight(mods_installed_box_, box.width);
  Place(mods_installed_box_, box);
  list_height_whole_ = true;
  ClipList();
}

void InstallerForm::ClipList() {
  const TwipRect box = PlacedAt(mods_installed_box_);
  const int inside = std::max(client_->height() - ToPixels(box.top), 0);
  mods_installed_box_->resize(ToPixels(box.width), std::min(ToPixels(box.height), inside));
}

void InstallerForm::PlaceLine1() {
  line1_->setGeometry(ToPixels(kLine1X), ToPixels(kLine1Y1), 1,
                      std::max(ToPixels(line1_y2_) - ToPixels(kLine1Y1) + 1, 1));
}

void InstallerForm::Form_Resize() {
  const int inner_width = ToTwips(client_->width());
  const int inner_height = ToTwips(client_->height());
  TwipRect remove = PlacedAt(remove_button_);
  if (inner_width > kResizeMinWidth) {
    TwipRect box = PlacedAt(mods_installed_box_);
    box.width = inner_width - kListMargin;
    box.height = ListHeight(box.width);
    Place(mods_installed_box_, box);
    remove.top = box.top + box.height;
  }
  if (inner_height > kResizeMinHeight) {
    line1_y2_ = inner_height - kLine1BottomGap;
    PlaceLine1();
  }
  if (remove.top + remove.height > inner_height) remove.top = inner_height - remove.height;
  Place(remove_button_, remove);
  ClipList();
}

bool InstallerForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) Form_Resize();
  // The list's whole height, once the player sees its first names.
  if (watched == mods_installed_box_ && event->type() == QEvent::Paint && !list_height_whole_ &&
      !whole_fit_posted_) {
    whole_fit_posted_ = true;
    QTimer::singleShot(0, this, &InstallerForm::FitWholeList);
  }
  return QMainWindow::eventFilter(watched, event);
}

void InstallerForm::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    if (const QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QMainWindow::showEvent(event);
}

void InstallerForm::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void InstallerForm::Form_Unload() {
  if (verify_) verify_->close();
  if (changes_) changes_->close();
  if (!readme_) return;
  readme_->setEnabled(false);
  readme_->close();
}

void InstallerForm::ShowNoPackage() {
  SetWrappedText(title_box_, QString::fromLatin1(kNoPackage));
  readme_button_->setEnabled(false);
  install_mod_button_->setEnabled(false);
  OfferChanges(false);
}

void InstallerForm::OfferChanges(bool offered) {
  menu_tools_changes_->setEnabled(offered);
  if (readme_) readme_->ChangesButton()->setEnabled(offered);
  if (!offered && changes_) changes_->close();
}

void InstallerForm::menu_tools_changes_Click() {
  if (!menu_tools_changes_->isEnabled()) return;
  if (!changes_) changes_ = std::make_unique<ChangesWindow>();
  changes_->ShowTable(PackageChangeTable(state_.PackagePath, state_.PackageHeader, state_.ModLog,
                                         state_.GameFiles, state_.CCPresent));
}

void InstallerForm::OpenModButton_Click() {
  const OpenFileRequest request =
      PackageFileRequest(settings_.Get("Open", "Last directory", "C:\\"), "Select mod to install");
  std::string chosen;
  if (!file_dialog_.GetOpenFileName(request, &chosen)) return;
  // The dialog's buffer holds max_path characters with the terminating zero, counted as Windows
  // counts them; a longer choice fails like a cancel.
  if (Utf16Length(chosen) >= request.max_path) return;
  OpenPackage(chosen);
}

void InstallerForm::OpenPackage(const std::string& chosen) {
  if (chosen.empty() || !PathListed(chosen)) return;

  state_.PackagePath = chosen;
  // Remembered before reading, so that the next dialog opens here even for a broken package.
  settings_.Set("Open", "Last directory", FolderOfPath(state_.PackagePath));

  const PackageChoice choice = ChoosePackage(state_.PackagePath, state_.PackageHeader);
  if (choice != PackageChoice::kChosen) {
    messages_.Error(PackageChoiceMessage(choice));
    ShowNoPackage();
    return;
  }
  SetWrappedText(title_box_, FromGameText(state_.PackageHeader.title));
  if (!readme_) {
    readme_ = std::make_unique<ReadmeForm>();
    connect(readme_->ChangesButton(), &QPushButton::clicked, this,
            [this] { menu_tools_changes_Click(); });
  }
  readme_->close();
  readme_->SetReadme(state_.PackageHeader.readme);
  readme_->show();
  readme_button_->setEnabled(true);
  install_mod_button_->setEnabled(true);
  OfferChanges(true);
}

void InstallerForm::ReadmeButton_Click() {
  if (!readme_) return;
  readme_->show();
  readme_->raise();
}

void InstallerForm::InstallModButton_Click() {
  install_mod_button_->setText(QStringLiteral("[installing]"));
  install_mod_button_->setEnabled(false);
  const bool failed = InstallPackage(state_.PackagePath, state_.PackageHeader, state_.ModLog,
                                     state_.GameFiles, state_.CCPresent, messages_, progress_);
  if (!failed) {
    SetWrappedText(title_box_, QString::fromLatin1(kNoPackage));
    readme_button_->setEnabled(false);
    OfferChanges(false);
    messages_.Plain(kInstalledTitle, kInstalledText);
  } else {
    // Drops whatever the failed install added in memory but never saved; its message is
    // already shown and the log on disk keeps the incomplete entry for removal.
    static_cast<void>(ReadModLog(state_.ModLog, state_.GameFiles, messages_));
    install_mod_button_->setEnabled(true);
  }
  install_mod_button_->setText(QStringLiteral("Install"));
  UpdateModBox();
}

void InstallerForm::RemoveButton_Click() {
  ModLog& log = state_.ModLog;
  if (log.ModCount() <= 0) return;
  if (!messages_.Confirm(kRemoveTitle, RemoveLatestQuestion(log.Mods[log.ModCount()].Name))) {
    return;
  }
  (void)RemoveLatest(log, state_.GameFiles, messages_);
  UpdateModBox();
}

void InstallerForm::menu_exit_Click() { close(); }

void InstallerForm::menu_tools_verify_Click() {
  if (!verify_) verify_ = std::make_unique<VerifyWindow>();
  GameSession session;
  session.GamePath = state_.GamePath;
  session.DataPath = state_.DataPath;
  session.CCPresent = state_.CCPresent;
  session.GameFiles = state_.GameFiles;
  session.ModLog = state_.ModLog;
  verify_->Refresh(session, messages_);
  verify_->show();
  verify_->raise();
}

void InstallerForm::menu_help_help_Click() {
  messages_.Information("Help", std::string(kHelpText) + kWebAddress);
}

void InstallerForm::menu_help_about_Click() {
  messages_.Information("About", std::string("Tarnwick by ") + kAuthorName + " (" + kAuthorEmail +
                                     ") - unsupported beta version - very buggy!");
}

}  // namespace tarnwick
