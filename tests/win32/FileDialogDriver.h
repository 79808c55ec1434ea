#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace vesk::test {

// Answers the next file-open dialog of this process from a second thread:
// types `file` into its file-name box and confirms, or cancels when `file`
// is empty. done() tells when it has answered (or given up after 30 s).
class FileDialogDriver {
 public:
  explicit FileDialogDriver(std::wstring file) : file_(std::move(file)), thread_([this] { Run(); }) {}
  ~FileDialogDriver() {
    stop_ = true;
    thread_.join();
  }
  FileDialogDriver(const FileDialogDriver&) = delete;
  FileDialogDriver& operator=(const FileDialogDriver&) = delete;

  bool done() const { return done_; }
  bool found() const { return found_; }
  // What the dialog showed: the entries of its file-type list and whether
  // its read-only check box was visible (read after done()).
  std::vector<std::wstring> filters() const { return filters_; }
  bool read_only_visible() const { return read_only_visible_; }

 private:
  // cmb13, the file-name combo box, or edt1 in older dialogs.
  static HWND FileNameBox(HWND dialog) {
    HWND box = GetDlgItem(dialog, 0x47c);
    return box != nullptr ? box : GetDlgItem(dialog, 0x480);
  }

  static BOOL CALLBACK FindDialog(HWND window, LPARAM out) {
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && lstrcmpW(class_name, L"#32770") == 0 && IsWindowVisible(window) &&
        FileNameBox(window) != nullptr) {
      *reinterpret_cast<HWND*>(out) = window;
      return FALSE;
    }
    return TRUE;
  }

  void Run() {
    const ULONGLONG deadline = GetTickCount64() + 30000;
    HWND dialog = nullptr;
    while (!stop_ && dialog == nullptr && GetTickCount64() < deadline) {
      EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&dialog));
      if (dialog == nullptr) Sleep(50);
    }
    if (dialog != nullptr) {
      found_ = true;
      Sleep(300);  // let the dialog finish filling its boxes
      const HWND types = GetDlgItem(dialog, 0x470);  // cmb1, the file-type list
      const auto count = static_cast<int>(SendMessageW(types, CB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        wchar_t entry[256] = {};
        if (SendMessageW(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 256) {
          SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        }
        filters_.push_back(entry);
      }
      const HWND read_only = GetDlgItem(dialog, 0x410);  // chx1
      read_only_visible_ = read_only != nullptr && IsWindowVisible(read_only);
      if (file_.empty()) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      } else {
        SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file_.c_str()));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      }
      while (!stop_ && IsWindow(dialog) && GetTickCount64() < deadline) Sleep(20);
      if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // never leave a test hanging
    }
    done_ = true;
  }

  std::wstring file_;
  std::vector<std::wstring> filters_;
  bool read_only_visible_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> found_{false};
  std::thread thread_;
};

}  // namespace vesk::test
