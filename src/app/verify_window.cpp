#include "app/verify_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt_services.h"
#include "manage/drift_texts.h"
#include "manage/mod_records.h"
#include "manage/verify_game.h"

namespace tarnwick {
namespace {

QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& headers) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
  table->setObjectName(QString::fromLatin1(name));
  table->setHorizontalHeaderLabels(headers);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->verticalHeader()->setVisible(false);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int column = 0; column < cells.size(); ++column) {
    table->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
}

}  // namespace

VerifyWindow::VerifyWindow() {
  setWindowTitle(QStringLiteral("Verify game files"));
  setObjectName(QStringLiteral("VerifyWindow"));
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("Summary"));
  summary_->setTextFormat(Qt::PlainText);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);
  files_table_ =
      MakeTable(this, "FilesTable",
                {QStringLiteral("File"), QStringLiteral("State"), QStringLiteral("What changed")});
  layout->addWidget(files_table_, 3);
  mods_table_ =
      MakeTable(this, "ModsTable",
                {QStringLiteral("Mod"), QStringLiteral("Title"), QStringLiteral("Package")});
  layout->addWidget(mods_table_, 2);
  close_button_ = new QPushButton(QStringLiteral("Close"), this);
  close_button_->setObjectName(QStringLiteral("CloseButton"));
  layout->addWidget(close_button_, 0, Qt::AlignRight);
  connect(close_button_, &QPushButton::clicked, this, [this] { close(); });
  resize(640, 480);
}

void VerifyWindow::Refresh(const GameSession& session, Messages& messages) {
  const GameVerification verified = VerifyGame(session, messages);
  QString summary =
      verified.findings.empty()
          ? QStringLiteral("Every file is as Tarnwick left it.")
          : FromGameText(std::to_string(verified.findings.size()) +
                         (verified.findings.size() == 1 ? " file change" : " changes") +
                         " found. " + kDriftCause);
  if (verified.fingerprints_stale)
    summary += QStringLiteral(" ") + FromGameText(kFingerprintsStale);
  summary_->setText(summary);

  files_table_->setRowCount(static_cast<int>(verified.files.size()));
  int row = 0;
  for (const VerifiedFile& file : verified.files) {
    std::string notes;
    for (const std::string& note : file.notes) notes += (notes.empty() ? "" : " ") + note;
    SetRow(files_table_, row++,
           {FromGameText(file.name), FromGameText(file.state), FromGameText(notes)});
  }
  mods_table_->setRowCount(static_cast<int>(verified.mods.size()));
  row = 0;
  for (const InstalledMod& mod : verified.mods) {
    SetRow(mods_table_, row++,
           {QString::number(mod.number), FromGameText(mod.title),
            mod.package_kept ? QStringLiteral("kept") : FromGameText(kPackageNotKept)});
  }
  files_table_->resizeColumnsToContents();
  mods_table_->resizeColumnsToContents();
}

}  // namespace tarnwick
