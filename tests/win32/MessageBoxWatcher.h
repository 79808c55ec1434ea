#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vesk::test {

// Watches the desktop from a second thread for message boxes with a given
// caption, records each box's text and dismisses it with OK.
class MessageBoxWatcher {
 public:
  explicit MessageBoxWatcher(std::wstring caption) : caption_(std::move(caption)), thread_([this] { Run(); }) {}
  ~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  // The texts of the boxes dismissed so far (read after the call that showed them returned).
  std::vector<std::wstring> texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  static BOOL CALLBACK CollectStatic(HWND child, LPARAM found) {
    wchar_t class_name[32] = {};
    GetClassNameW(child, class_name, 32);
    wchar_t text[512] = {};
    if (lstrcmpiW(class_name, L"Static") == 0 && GetWindowTextW(child, text, 512) > 0) {
      *reinterpret_cast<std::wstring*>(found) = text;
    }
    return TRUE;
  }

  void Run() {
    std::vector<HWND> seen;
    while (!stop_) {
      HWND box = FindWindowW(L"#32770", caption_.c_str());
      if (box != nullptr && IsWindowVisible(box)) {
        std::wstring text;
        EnumChildWindows(box, &CollectStatic, reinterpret_cast<LPARAM>(&text));
        {
          std::lock_guard<std::mutex> lock(mutex_);
          texts_.push_back(text);
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        while (!stop_ && IsWindow(box)) Sleep(20);
      }
      Sleep(20);
    }
  }

  std::wstring caption_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
  std::thread thread_;
};

}  // namespace vesk::test
