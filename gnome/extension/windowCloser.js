// The window logic of the window-closer@vesk-host extension, shared by both
// entry formats: the build puts this file unchanged between the imports of
// the chosen format (which bind Gio, GLib and Meta) and its entry point.
//
// While enabled, the extension owns org.vesk.WindowCloser1 on the session
// bus and exports one object, /org/vesk/WindowCloser1, with one interface,
// org.vesk.WindowCloser1, of two methods and nothing more (no titles, no
// code evaluation: any program of the user may call it):
//   ListWindows() -> a(tutbbb)
//     The normal (not override-redirect) windows, the topmost first; each
//     (id, pid, transient parent id or 0, is X11, minimized, hidden). The id
//     is mutter's 64-bit window id, the pid mutter's own (the Wayland socket
//     peer, or X-Resource for X11), 0 when unknown.
//   CloseWindow(t id, u expected_pid) -> ()
//     Asks the Wayland window `id` to close (xdg_toplevel.close). Errors:
//     org.vesk.WindowCloser1.Error.NoSuchWindow  no normal window has that id
//     org.vesk.WindowCloser1.Error.PidMismatch   its pid is unknown or another
//     org.vesk.WindowCloser1.Error.X11Window     an X11 window: mutter's delete
//       kills a client that does not take WM_DELETE_WINDOW, so those are left
//       to the caller's X11 route.

const WINDOW_CLOSER_NAME = 'org.vesk.WindowCloser1';
const WINDOW_CLOSER_PATH = '/org/vesk/WindowCloser1';
const WINDOW_CLOSER_XML = `<node>
  <interface name="org.vesk.WindowCloser1">
    <!-- Normal windows, topmost first: id, pid (0 unknown), transient
         parent id (0 none), is X11, minimized, hidden. -->
    <method name="ListWindows">
      <arg type="a(tutbbb)" name="windows" direction="out"/>
    </method>
    <!-- Asks a Wayland window to close when its pid is expected_pid. -->
    <method name="CloseWindow">
      <arg type="t" name="id" direction="in"/>
      <arg type="u" name="expected_pid" direction="in"/>
    </method>
  </interface>
</node>`;

class WindowCloser {
    constructor() {
        this._exported = null;
        this._nameId = 0;
    }

    // Exports the object, then owns the name: once the name has an owner,
    // the methods answer.
    start() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(WINDOW_CLOSER_XML, this);
        this._exported.export(Gio.DBus.session, WINDOW_CLOSER_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, WINDOW_CLOSER_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    stop() {
        if (this._nameId !== 0)
            Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        if (this._exported !== null)
            this._exported.unexport();
        this._exported = null;
    }

    _normalWindows() {
        return global.display.list_all_windows().filter(w => !w.is_override_redirect());
    }

    static _pid(window) {
        const pid = window.get_pid();
        return pid > 0 ? pid : 0;
    }

    ListWindowsAsync(_params, invocation) {
        try {
            const stacked = global.display.sort_windows_by_stacking(this._normalWindows()).reverse();
            const rows = stacked.map(w => {
                const parent = w.get_transient_for();
                return [w.get_id(), WindowCloser._pid(w), parent ? parent.get_id() : 0,
                    w.get_client_type() === Meta.WindowClientType.X11, w.minimized, w.is_hidden()];
            });
            invocation.return_value(new GLib.Variant('(a(tutbbb))', [rows]));
        } catch (e) {
            invocation.return_dbus_error(`${WINDOW_CLOSER_NAME}.Error.Failed`, String(e));
        }
    }

    CloseWindowAsync([id, expectedPid], invocation) {
        const fail = (name, message) =>
            invocation.return_dbus_error(`${WINDOW_CLOSER_NAME}.Error.${name}`, message);
        try {
            const window = this._normalWindows().find(w => w.get_id() === id);
            if (!window)
                return fail('NoSuchWindow', `no window ${id}`);
            const pid = WindowCloser._pid(window);
            if (pid === 0 || pid !== expectedPid)
                return fail('PidMismatch', `window ${id} has pid ${pid}, not ${expectedPid}`);
            if (window.get_client_type() === Meta.WindowClientType.X11)
                return fail('X11Window', `window ${id} is an X11 window`);
            window.delete(global.get_current_time());
            invocation.return_value(null);
        } catch (e) {
            fail('Failed', String(e));
        }
        return undefined;
    }
}
