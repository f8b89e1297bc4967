#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace tarnwick {

// Shows the chosen package's readme. While enabled, closing only hides it; the main window
// disables it before closing it for good.
class ReadmeForm : public QWidget {
 public:
  ReadmeForm();

  void SetReadme(const std::string& readme);

  QPlainTextEdit* ReadmeText() const { return readme_text_; }
  QPushButton* CloseButton() const { return close_button_; }
  // "What it changes…": the main window connects it to its view of the package's plan.
  QPushButton* ChangesButton() const { return changes_button_; }

  // Keeps the controls at the window's inner size (in twips), as long as it is not tiny.
  void Form_Resize();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CloseButton_Click();

  QPlainTextEdit* readme_text_;
  QPushButton* close_button_;
  QPushButton* changes_button_;
  bool placed_ = false;
};

}  // namespace tarnwick
