#include "app/readme_form.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "app/qt_services.h"
#include "app/twips.h"

namespace tarnwick {
namespace {

constexpr int kClientWidth = 7065;
constexpr int kClientHeight = 4740;
constexpr int kMinimumFollowed = 1000;
// "What it changes…" shares the bottom row with "Close readme", at its right end.
constexpr int kChangesWidth = 1800;
constexpr int kButtonGap = 120;

// Fixedsys where the system has it, otherwise the system's own fixed-pitch font.
QFont ReadmeFont() {
  QFont font(QStringLiteral("Fixedsys"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSizeF(9);
  if (QFontInfo(font).family().compare(QStringLiteral("Fixedsys"), Qt::CaseInsensitive) == 0) {
    return font;
  }
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSizeF(9);
  return fixed;
}

}  // namespace

ReadmeForm::ReadmeForm() {
  setWindowTitle(QStringLiteral("Readme file"));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0, 0, 128));
  setPalette(palette);
  setFont(ArialFont(9));

  readme_text_ = new QPlainTextEdit(this);
  readme_text_->setReadOnly(true);
  readme_text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  readme_text_->setFont(ReadmeFont());
  QPalette text_palette = readme_text_->palette();
  text_palette.setColor(QPalette::Base, QColor(224, 224, 224));
  text_palette.setColor(QPalette::Text, Qt::black);
  readme_text_->setPalette(text_palette);
  Place(readme_text_, {0, 0, 6855, 4215});

  close_button_ = new QPushButton(QStringLiteral("Close readme"), this);
  close_button_->setFont(ArialFont(9.75));
  Place(close_button_, {120, 4320, 6855 - kChangesWidth - kButtonGap, 375});
  connect(close_button_, &QPushButton::clicked, this, [this] { CloseButton_Click(); });
  changes_button_ = new QPushButton(QStringLiteral("What it changes\u2026"), this);
  changes_button_->setObjectName(QStringLiteral("ChangesButton"));
  changes_button_->setFont(ArialFont(9.75));
  Place(changes_button_, {6975 - kChangesWidth, 4320, kChangesWidth, 375});

  resize(ToPixels(kClientWidth), ToPixels(kClientHeight));
}

void ReadmeForm::SetReadme(const std::string& readme) {
  // Readmes are written with CR LF; the text box wants bare line feeds.
  QString text = FromGameText(readme);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  readme_text_->setPlainText(text);
}

void ReadmeForm::CloseButton_Click() { close(); }

void ReadmeForm::closeEvent(QCloseEvent* event) {
  if (isEnabled()) {
    event->ignore();
    hide();
    return;
  }
  event->accept();
}

void ReadmeForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void ReadmeForm::showEvent(QShowEvent* event) {
  // It has no owner to centre on, so the first showing centres it on the screen.
  if (!placed_) {
    placed_ = true;
    if (const QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QWidget::showEvent(event);
}

void ReadmeForm::Form_Resize() {
  const int inner_width = ToTwips(width());
  const int inner_height = ToTwips(height());
  TwipRect button = PlacedAt(close_button_);
  TwipRect changes = PlacedAt(changes_button_);
  TwipRect text = PlacedAt(readme_text_);
  if (inner_width > kMinimumFollowed) {
    // The row "Close readme" had to itself, less the room of the button beside it.
    button.width = std::max(inner_width - 240 - kChangesWidth - kButtonGap, kTwipsPerPixel);
    changes.left = button.left + button.width + kButtonGap;
    text.width = inner_width;
  }
  if (inner_height > kMinimumFollowed) {
    button.top = inner_height - 420;
    changes.top = button.top;
    text.height = inner_height - 525;
  }
  Place(close_button_, button);
  Place(changes_button_, changes);
  Place(readme_text_, text);
}

}  // namespace tarnwick
