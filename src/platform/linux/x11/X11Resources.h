#pragma once

// Owners of the XCB and Xau resources the window backend uses. Include only
// from .cpp files of the Linux backend.
#include <X11/Xauth.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "platform/UniqueResource.h"

namespace vesk::platform::linux_backend {

struct XcbConnectionCloser {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
// A connection to an X server; closing it also closes its socket.
using UniqueXcbConnection = UniqueResource<xcb_connection_t*, XcbConnectionCloser, nullptr>;

struct FreeCloser {
  void operator()(void* data) const { std::free(data); }
};
// A reply or an error from the server, which XCB allocates with malloc.
template <class T>
using UniqueReply = UniqueResource<T*, FreeCloser, nullptr>;

struct XauthCloser {
  void operator()(Xauth* entry) const { XauDisposeAuth(entry); }
};
// One entry of an X authority file.
using UniqueXauth = UniqueResource<Xauth*, XauthCloser, nullptr>;

}  // namespace vesk::platform::linux_backend
