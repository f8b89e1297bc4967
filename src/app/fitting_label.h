#pragma once

#include <QLabel>
#include <QString>
#include <memory>

namespace tarnwick {

// A label that remembers the height it last fitted its text to, and that can tell how tall a
// long text is at least without laying out all of it. The list of installed mods is fitted when
// it is filled and again when the window first shows, at the same width; with a thousand names
// each full fitting lays out every one of them, while the window shows a few dozen.
class FittingLabel : public QLabel {
 public:
  using QLabel::QLabel;
  ~FittingLabel() override;

  int heightForWidth(int width) const override;

  // The text's height at `width` when that is at most `room` pixels. A taller text gives a height
  // above `room` found from its first lines only (they wrap as they do in the whole text, each
  // line ending a line of the label), and then `whole` is false; with `whole` true the height is
  // the one heightForWidth gives.
  int HeightFilling(int width, int room, bool* whole) const;

 protected:
  // A new font, style or anything else that may move the text's lines.
  void changeEvent(QEvent* event) override;

 private:
  // The height of `prefix`, the text's first lines, fitted by a label set up like this one.
  int PrefixHeight(int width, const QString& prefix) const;

  mutable int fitted_width_ = -1;
  mutable int fitted_height_ = 0;
  mutable QString fitted_text_;
  // The last partial fitting: the height of the first lines, above the room it was asked for.
  mutable int partial_width_ = -1;
  mutable int partial_height_ = 0;
  mutable QString partial_text_;
  mutable std::unique_ptr<QLabel> measure_;
};

}  // namespace tarnwick
