#pragma once

// Owners of the Xlib resources the window backend uses. Include only from
// .cpp files of the Linux backend: it brings in Xlib.
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include "platform/UniqueResource.h"
#include "platform/linux/ScopedXErrorHandler.h"

namespace vesk::platform::linux_backend {

struct DisplayCloser {
  void operator()(Display* display) const { ScopedXErrorHandler::Close(display); }
};
// A display connection, adopted by a ScopedXErrorHandler that outlives it.
using UniqueDisplay = UniqueResource<Display*, DisplayCloser, nullptr>;

struct XFreeCloser {
  void operator()(void* data) const { XFree(data); }
};
// A buffer that Xlib allocated (a property value, a window list).
template <class T>
using UniqueXBuffer = UniqueResource<T*, XFreeCloser, nullptr>;

struct ClientIdsCloser {
  long count = 0;
  void operator()(XResClientIdValue* values) const { XResClientIdsDestroy(count, values); }
};
// The client ids of an X-Resource query.
using UniqueClientIds = UniqueResource<XResClientIdValue*, ClientIdsCloser, nullptr>;

}  // namespace vesk::platform::linux_backend
