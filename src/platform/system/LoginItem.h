#pragma once

#include <QString>
#include <optional>

namespace platform {

// Starting the application at login, through an XDG autostart entry
// $XDG_CONFIG_HOME/autostart/<app id>.desktop that starts the running program. Every call looks
// at the file afresh, so changes made meanwhile by the desktop's own settings count. An entry
// under our name may carry the user's own additions (an `env VAR=… spoutwise` Exec, extra keys):
// it is switched on and off, never replaced.
class LoginItem {
  public:
    struct Error {
        // What went wrong, for the log and the alert, e.g. "Permission denied".
        QString message;
    };

    // `program` is what the entry starts; the running program's absolute path unless given.
    explicit LoginItem(QString program = {});

    // Whether the application starts at login: an entry under our name that is not switched off
    // (Hidden=true or X-GNOME-Autostart-enabled=false), by unregisterApp() or the desktop's
    // startup settings.
    bool isEnabled() const;
    // Switches the entry under our name on, or writes ours where there is none. Every write
    // replaces the file in one step: a failure leaves the previous file byte for byte. Empty on
    // success.
    std::optional<Error> registerApp();
    // Removes the entry if it is byte for byte the one we write, else switches it off with
    // Hidden=true. Empty on success, also when there was none.
    std::optional<Error> unregisterApp();

    static QString autostartFolder();
    static QString entryPath();
    // The Exec value that starts `program`: quoted, with the characters the desktop entry format
    // reserves escaped.
    static QString execValue(const QString& program);

  private:
    QString entryText() const;

    QString program;
};

}  // namespace platform
