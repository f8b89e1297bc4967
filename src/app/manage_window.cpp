#include "app/manage_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/changes_window.h"
#include "manage/change_table.h"
#include "manage/installed_mods.h"
#include "manage/mod_records.h"
#include "manage/remove_any.h"
#include "platform/file_system.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

QString GameText(const std::string& text) { return QString::fromStdString(Cp1252ToUtf8(text)); }

// The question as one plain text: plan lines, then what is asked.
std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

ManageWindow::ManageWindow(InstallerState& state, Messages& messages, FileDialog& file_dialog,
                           Settings& settings, Progress* progress, QWidget* parent)
    : QDialog(parent),
      state_(state),
      messages_(messages),
      file_dialog_(file_dialog),
      settings_(settings),
      progress_(progress) {
  setWindowTitle(QStringLiteral("Manage mods"));
  setObjectName(QStringLiteral("manage_window"));
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("mod_list"));
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setHeaderLabels({QStringLiteral("Mod"), QStringLiteral("Installed"),
                          QStringLiteral("Changes"), QStringLiteral("Package"),
                          QStringLiteral("Install")});
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  remove_button_ = new QPushButton(QStringLiteral("Remove..."), this);
  remove_button_->setObjectName(QStringLiteral("remove_any_button"));
  changes_button_ = new QPushButton(QStringLiteral("What it changed\u2026"), this);
  changes_button_->setObjectName(QStringLiteral("changes_button"));
  auto* close_button = new QPushButton(QStringLiteral("Close"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(changes_button_);
  buttons->addWidget(remove_button_);
  buttons->addWidget(close_button);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  connect(remove_button_, &QPushButton::clicked, this, [this] { RemoveButton_Click(); });
  connect(changes_button_, &QPushButton::clicked, this, [this] { ChangesButton_Click(); });
  connect(close_button, &QPushButton::clicked, this, &QDialog::accept);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    remove_button_->setEnabled(!list_->selectedItems().isEmpty());
    changes_button_->setEnabled(!list_->selectedItems().isEmpty());
  });
  resize(640, 320);
  Refresh();
}

void ManageWindow::Refresh() {
  list_->clear();
  const ModLog& log = state_.ModLog;
  const std::vector<ModRecordStatus> records = ReadModRecords(log, false, messages_);
  for (int32_t i = log.ModCount(); i >= 1; --i) {
    const ModLogEntry& entry = log.Mods[i];
    const ModRecordStatus& record = records[static_cast<size_t>(i - 1)];
    const bool complete = IsComplete(entry);
    const bool kept = record.recorded && record.package == KeptPackage::kKept;
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, GameText(entry.Name));
    item->setText(1, record.recorded ? QString::fromStdString(record.installed) : QString());
    item->setText(2, QString::number(entry.ChangeCount()));
    item->setText(3, kept ? QStringLiteral("kept") : QString::fromLatin1(kPackageNotKept));
    item->setText(4, complete ? QStringLiteral("complete") : QStringLiteral("incomplete"));
    item->setData(0, Qt::UserRole, i);
  }
  remove_button_->setEnabled(false);
  changes_button_->setEnabled(false);
  if (changes_) changes_->close();
}

ManageWindow::~ManageWindow() = default;

int ManageWindow::NumberOfRow(int row) const {
  const QTreeWidgetItem* item = list_->topLevelItem(row);
  return item == nullptr ? 0 : item->data(0, Qt::UserRole).toInt();
}

void ManageWindow::ChangesButton_Click() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  if (!changes_) changes_ = std::make_unique<ChangesWindow>(this);
  changes_->ShowTable(InstalledChangeTable(
      state_.ModLog, selected.front()->data(0, Qt::UserRole).toInt(), state_.GameFiles));
}

void ManageWindow::RemoveButton_Click() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const int number = selected.front()->data(0, Qt::UserRole).toInt();
  ModLog& log = state_.ModLog;
  if (ReadModLog(log, state_.GameFiles, messages_)) return;
  const Ledger ledger = OpenLedger(LedgerPathsFor(log.LogPath), messages_);
  RemovalPlan plan = PlanRemoval(log, state_.GameFiles, state_.CCPresent, ledger, number);
  if (!MissingPackages(plan).empty() && !ChooseMissingPackages(plan, ledger)) {
    Refresh();
    return;
  }
  if (!plan.Ok()) {
    messages_.Plain(kRemoveAnyTitle, JoinLines(Describe(plan)));
  } else if (messages_.Confirm(kRemoveAnyTitle, Question(plan))) {
    if (ApplyRemoval(plan, log, state_.GameFiles, state_.CCPresent, messages_, progress_) ==
        RemovalOutcome::kRefused) {
      messages_.Plain(kRemoveAnyTitle, kPlanOutOfDate);
    }
    (void)ReadModLog(log, state_.GameFiles, messages_);
  }
  Refresh();
}

bool ManageWindow::ChooseMissingPackages(RemovalPlan& plan, const Ledger& ledger) {
  if (!messages_.Confirm(kRemoveAnyTitle, ChoosePackagesQuestion(plan))) return false;
  std::vector<SuppliedPackage> supplied;
  for (const FailedPrecondition& missing : MissingPackages(plan)) {
    const OpenFileRequest request = PackageFileRequest(
        settings_.Get("Open", "Last directory", "C:\\"), Cp1252ToUtf8(ChoosePackageTitle(missing)));
    std::string chosen;
    // A choice longer than the dialog's buffer fails like a cancel, as with "Open mod".
    if (!file_dialog_.GetOpenFileName(request, &chosen) ||
        Utf16Length(chosen) >= request.max_path) {
      return false;
    }
    settings_.Set("Open", "Last directory", FolderOfPath(chosen));
    supplied.push_back({missing.position, chosen, {}});
  }
  plan =
      PlanRemoval(state_.ModLog, state_.GameFiles, state_.CCPresent, ledger, plan.target, supplied);
  return true;
}

}  // namespace tarnwick
