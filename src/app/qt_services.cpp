#include "app/qt_services.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSettings>
#include <QWindow>

#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

int ShowBox(QWidget* owner, QMessageBox::Icon icon, const std::string& title,
            const std::string& text, QMessageBox::StandardButtons buttons) {
  // Before the window shows (start-up) a box sits in the middle of the screen, not on the hidden
  // window's place.
  QWidget* parent = owner != nullptr && owner->isVisible() ? owner : nullptr;
  QMessageBox box(icon, FromGameText(title), FromGameText(text), buttons, parent);
  // Mod names come from files: shown as they are, never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec();
}

QString Unicode(const std::string& utf8) { return QString::fromUtf8(utf8.data(), utf8.size()); }

// The install cannot be interrupted half-way, so the dialog takes neither Escape nor its close
// box.
class UnstoppableProgressDialog : public QProgressDialog {
 public:
  using QProgressDialog::QProgressDialog;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      event->accept();
      return;
    }
    QProgressDialog::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

// Every input to any window, while an install runs; painting and timers go on.
bool IsUserInput(const QEvent& event) {
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    case QEvent::Close:
      // The user's close box; the program's own close() is not spontaneous.
      return event.spontaneous();
    default:
      return false;
  }
}

constexpr int kShowAfterMs = 500;
constexpr int kRepaintEveryMs = 50;

}  // namespace

QString FromGameText(const std::string& text) { return Unicode(Cp1252ToUtf8(text)); }

void QtMessages::Error(const std::string& text) {
  ShowBox(owner_, QMessageBox::Critical, "Error", text, QMessageBox::Ok);
}

void QtMessages::Information(const std::string& title, const std::string& text) {
  ShowBox(owner_, QMessageBox::Information, title, text, QMessageBox::Ok);
}

void QtMessages::Plain(const std::string& title, const std::string& text) {
  ShowBox(owner_, QMessageBox::NoIcon, title, text, QMessageBox::Ok);
}

bool QtMessages::Confirm(const std::string& title, const std::string& text) {
  return ShowBox(owner_, QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

bool QtFileDialog::GetOpenFileName(const OpenFileRequest& request, std::string* chosen) {
  QString folder = Unicode(HostPath(request.initial_folder));
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  QFileDialog dialog(owner_, FromGameText(request.title), folder);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The filter's name already shows its pattern in parentheses, which is where Qt reads it from.
  QString filter = FromGameText(request.filter_name);
  const QString pattern = FromGameText(request.filter_pattern).toLower();
  if (!filter.contains(pattern, Qt::CaseInsensitive)) {
    filter += QStringLiteral(" (") + pattern + QStringLiteral(")");
  }
  dialog.setNameFilter(filter);
  // Packages come named "*.MPI" as often as "*.mpi".
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return false;
  const QByteArray host = files.first().toUtf8();
  *chosen = ProgramPathFromHost(std::string_view(host.constData(), host.size()));
  return true;
}

std::string QtSettings::Get(const std::string& section, const std::string& key,
                            const std::string& default_value) {
  QSettings settings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"));
  settings.beginGroup(Unicode(section));
  const QVariant value = settings.value(Unicode(key));
  if (!value.isValid()) return default_value;
  return value.toString().toUtf8().toStdString();
}

void QtSettings::Set(const std::string& section, const std::string& key, const std::string& value) {
  QSettings settings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"));
  settings.beginGroup(Unicode(section));
  settings.setValue(Unicode(key), Unicode(value));
}

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(*event)) return false;
  // The window on top of all (a box the install opens, or the progress dialog, which offers
  // nothing to press) takes its input as usual; everything below it takes none.
  if (const QWidget* modal = QApplication::activeModalWidget()) {
    if (const auto* widget = qobject_cast<const QWidget*>(watched);
        widget != nullptr && (widget == modal || modal->isAncestorOf(widget))) {
      return false;
    }
    if (watched == static_cast<QObject*>(modal->windowHandle())) return false;
  }
  if (event->type() == QEvent::Close) event->ignore();
  return true;
}

QtProgress::QtProgress() = default;
QtProgress::~QtProgress() { StopBlocking(); }

void QtProgress::StopBlocking() {
  if (!blocking_) return;
  blocking_ = false;
  if (QCoreApplication* application = QCoreApplication::instance()) {
    application->removeEventFilter(&blocker_);
  }
}

void QtProgress::Begin(int resource_count) {
  // From the first moment, not only once the dialog shows: a click meanwhile would otherwise wait
  // in the queue and start a command when the install ends.
  if (!blocking_) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
      application->installEventFilter(&blocker_);
      blocking_ = true;
    }
  }
  resource_count_ = resource_count;
  auto* bar = new QProgressBar;
  bar->setRange(0, resource_count > 0 ? resource_count : 1);
  bar->setValue(0);
  dialog_ = std::make_unique<UnstoppableProgressDialog>(owner_);
  dialog_->setBar(bar);
  dialog_->setCancelButton(nullptr);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setWindowTitle(QStringLiteral("Mod installation"));
  dialog_->setMinimumDuration(kShowAfterMs);
  dialog_->setLabelText(QString());
  since_begin_.start();
  since_update_.invalidate();
}

void QtProgress::Update(int resource, int64_t bytes_copied) {
  if (!dialog_) return;
  if (since_update_.isValid() && since_update_.elapsed() < kRepaintEveryMs) return;
  since_update_.start();
  dialog_->setLabelText(QStringLiteral("Installing resource %1 of %2\n%3 bytes copied")
                            .arg(resource)
                            .arg(resource_count_)
                            .arg(QLocale().toString(static_cast<qlonglong>(bytes_copied))));
  if (auto* bar = dialog_->findChild<QProgressBar*>()) bar->setValue(resource);
  if (!dialog_->isVisible() && since_begin_.elapsed() >= kShowAfterMs) dialog_->show();
  // Input is taken out of the queue here and dropped by the blocker.
  QCoreApplication::processEvents();
}

void QtProgress::End() {
  // What arrived since the last update is dropped too, before input is taken again.
  if (blocking_) QCoreApplication::processEvents();
  StopBlocking();
  dialog_.reset();
}

}  // namespace tarnwick
