#pragma once

// How other programs (the window tests, screen readers' scripts) find the window's parts: the
// window classes and the control and menu identifiers.
namespace tarnwick::winapp {

inline constexpr wchar_t kInstallerFormClass[] = L"TarnwickInstallerForm";
inline constexpr wchar_t kReadmeFormClass[] = L"TarnwickReadmeForm";
inline constexpr wchar_t kProgressClass[] = L"TarnwickProgress";
inline constexpr wchar_t kListViewClass[] = L"TarnwickListView";

enum ControlId : int {
  kOpenModButton = 101,
  kInstallModButton = 102,
  kReadmeButton = 103,
  kRemoveButton = 104,
  kCurrentModLabel = 105,  // Labels(1)
  kTitleBox = 106,
  kModsInstalledLabel = 107,  // Labels(0)
  kModsInstalledBox = 108,

  kReadmeText = 201,
  kCloseButton = 202,

  kProgressText = 301,
  kProgressBar = 302,

  kListHeading = 401,
  kListTable = 402,
  kListFooter = 403,
  // The buttons of the manage view for the selected mod.
  kManageRemove = 411,
  kManageChanges = 412,
};

enum MenuId : int {
  kMenuExit = 1001,
  kMenuHelpHelp = 1002,
  kMenuHelpAbout = 1003,
  // The Tools menu's items, in the order their numbers were given (not their menu order).
  kMenuToolsVerify = 1100,
  kMenuToolsManage = 1101,
  kMenuToolsChanges = 1102,
};

}  // namespace tarnwick::winapp
