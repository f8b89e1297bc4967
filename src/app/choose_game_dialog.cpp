#include "app/choose_game_dialog.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {
namespace {

QString Unicode(const std::string& utf8) { return QString::fromUtf8(utf8.data(), utf8.size()); }

}  // namespace

ChooseGameDialog::ChooseGameDialog(const std::vector<GameInstall>& installs, size_t current,
                                   QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ChooseGameDialog"));
  setWindowTitle(QStringLiteral("Choose game"));
  auto* layout = new QVBoxLayout(this);
  auto* prompt =
      new QLabel(QStringLiteral("Choose the copy of the game to install mods into:"), this);
  prompt->setTextFormat(Qt::PlainText);
  prompt->setWordWrap(true);
  layout->addWidget(prompt);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("InstallList"));
  list_->setRootIsDecorated(false);
  list_->setColumnCount(3);
  list_->setHeaderLabels(
      {QStringLiteral("Found in"), QStringLiteral("Game folder"), QStringLiteral("Wine prefix")});
  for (const GameInstall& install : installs) {
    // Item texts are never read as markup.
    auto* item = new QTreeWidgetItem(
        list_, {Unicode(install.label), Unicode(install.game_path), Unicode(install.prefix)});
    item->setToolTip(1, Unicode(install.game_path));
    item->setToolTip(2, Unicode(install.prefix));
  }
  if (current < installs.size()) list_->setCurrentItem(list_->topLevelItem(int(current)));
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(list_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
  // Wide enough for the whole paths, as far as the screen allows.
  int width = 0;
  for (int column = 0; column < list_->columnCount(); ++column) {
    width += list_->header()->sectionSize(column);
  }
  const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  const int most = screen != nullptr ? screen->availableGeometry().width() * 9 / 10 : 800;
  resize(std::clamp(width + 40, 480, std::max(480, most)), 260);
}

std::optional<size_t> ChooseGameDialog::Chosen() const {
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  if (row < 0) return std::nullopt;
  return static_cast<size_t>(row);
}

std::optional<size_t> QtInstallChooser::ChooseInstall(const std::vector<GameInstall>& installs,
                                                      size_t current) {
  // Before the main window shows there is nothing to sit on: centred on the screen.
  QWidget* parent = owner_ != nullptr && owner_->isVisible() ? owner_ : nullptr;
  ChooseGameDialog dialog(installs, current, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Chosen();
}

}  // namespace tarnwick
