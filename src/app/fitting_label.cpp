#include "app/fitting_label.h"

#include <QEvent>

namespace tarnwick {

// The first partial fitting lays out this many lines of the text; each further one twice as many.
constexpr qsizetype kFirstLines = 16;

FittingLabel::~FittingLabel() = default;

int FittingLabel::heightForWidth(int width) const {
  if (width != fitted_width_ || text() != fitted_text_) {
    fitted_height_ = QLabel::heightForWidth(width);
    fitted_width_ = width;
    fitted_text_ = text();
  }
  return fitted_height_;
}

int FittingLabel::HeightFilling(int width, int room, bool* whole) const {
  const QString all = text();
  *whole = false;
  if (width == partial_width_ && partial_height_ > room && all == partial_text_) {
    return partial_height_;
  }
  if (width != fitted_width_ || all != fitted_text_) {
    qsizetype lines = kFirstLines;
    qsizetype counted = 0;
    qsizetype end = -1;
    for (;;) {
      for (; counted < lines; ++counted) {
        end = all.indexOf(QLatin1Char('\n'), end + 1);
        if (end < 0) break;
      }
      if (end < 0) break;  // the text has no more lines than these: fit all of it
      const int height = PrefixHeight(width, all.left(end));
      if (height > room) {
        partial_width_ = width;
        partial_height_ = height;
        partial_text_ = all;
        return height;
      }
      lines *= 2;
    }
  }
  *whole = true;
  return heightForWidth(width);
}

int FittingLabel::PrefixHeight(int width, const QString& prefix) const {
  if (!measure_) measure_ = std::make_unique<QLabel>();
  measure_->setFont(font());
  measure_->setFrameStyle(frameStyle());
  measure_->setLineWidth(lineWidth());
  measure_->setMargin(margin());
  measure_->setIndent(indent());
  measure_->setContentsMargins(contentsMargins());
  measure_->setMinimumSize(minimumSize());
  measure_->setAlignment(alignment());
  measure_->setWordWrap(wordWrap());
  measure_->setTextFormat(textFormat());
  measure_->setText(prefix);
  return measure_->heightForWidth(width);
}

void FittingLabel::changeEvent(QEvent* event) {
  fitted_width_ = -1;
  partial_width_ = -1;
  QLabel::changeEvent(event);
}

}  // namespace tarnwick
