// A small GTK 4 program for the end-to-end tests, run by gjs:
//   gtk-client.js [--minimized] [--dialog] --log FILE
// A main window, minimised once shown (--minimized), or with a dialog that is
// transient for it but not modal, shown above it (--dialog). Each window's
// close request appends its role ("main" or "dialog") to FILE; the main
// window's also ends the program.
imports.gi.versions.Gtk = '4.0';
const {Gio, Gtk} = imports.gi;

let minimized = false, dialog = false, log = null;
for (let i = 0; i < ARGV.length; i++) {
    if (ARGV[i] === '--minimized') minimized = true;
    else if (ARGV[i] === '--dialog') dialog = true;
    else if (ARGV[i] === '--log' && i + 1 < ARGV.length) log = ARGV[++i];
    else { printerr(`gtk-client: bad argument ${ARGV[i]}`); imports.system.exit(2); }
}
if (log === null) { printerr('gtk-client: --log FILE is required'); imports.system.exit(2); }

const note = role => {
    const stream = Gio.File.new_for_path(log).append_to(Gio.FileCreateFlags.NONE, null);
    stream.write_all(`${role}\n`, null);
    stream.close(null);
};
const app = new Gtk.Application({flags: Gio.ApplicationFlags.NON_UNIQUE});
app.connect('activate', () => {
    const main = new Gtk.ApplicationWindow({application: app, title: 'gtk-client main'});
    main.connect('close-request', () => { note('main'); app.quit(); return false; });
    main.present();
    if (minimized) main.minimize();
    if (dialog) {
        const box = new Gtk.Window({title: 'gtk-client dialog', transient_for: main, modal: false});
        box.connect('close-request', () => { note('dialog'); return false; });
        box.present();
    }
});
app.run([imports.system.programInvocationName]);
