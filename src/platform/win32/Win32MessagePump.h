#pragma once

#include "platform/IMessagePump.h"

namespace vesk::platform::win32 {

// Dispatches the calling thread's pending window messages with
// PeekMessageW / TranslateMessage / DispatchMessageW. A WM_QUIT met there
// ends the dispatch and is posted again (PostQuitMessage with its exit
// code), so the host's own message loop still sees it.
class Win32MessagePump : public IMessagePump {
 public:
  void DispatchPendingMessages() override;
};

}  // namespace vesk::platform::win32
