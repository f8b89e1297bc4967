#pragma once

#include <string>

#include "winapp/twips.h"
#include "winapp/win32.h"

namespace tarnwick::winapp {

// Shows the chosen package's readme. While enabled, closing only hides it; the main window
// disables it before closing it for good.
class ReadmeWindow {
 public:
  ReadmeWindow(HINSTANCE instance, const TwipScale& scale);
  ~ReadmeWindow();
  ReadmeWindow(const ReadmeWindow&) = delete;
  ReadmeWindow& operator=(const ReadmeWindow&) = delete;

  // Readmes are game text with CR LF line ends.
  void SetReadme(const std::string& readme);
  void Show();
  // The close request of the window's close box and of "Close readme".
  void Form_Unload();
  // Clears the enabled state and closes the window for good.
  void CloseForGood();

  HWND Window() const { return window_; }

  void Form_Resize();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HINSTANCE instance_;
  const TwipScale& scale_;
  TwipLayout layout_;
  HWND window_ = nullptr;
  HWND readme_text_ = nullptr;
  HWND close_button_ = nullptr;
  HFONT text_font_ = nullptr;
  HFONT button_font_ = nullptr;
  HBRUSH background_ = nullptr;
  HBRUSH text_background_ = nullptr;
  HICON icon_ = nullptr;
  bool placed_ = false;
};

}  // namespace tarnwick::winapp
