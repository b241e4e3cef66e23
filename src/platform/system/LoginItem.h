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
    // 1 is the only status that means the application starts at login.
    enum Status {
        notRegistered = 0,
        enabled = 1,
        // The entry under our name is switched off (Hidden=true or
        // X-GNOME-Autostart-enabled=false), by unregisterApp() or the desktop's startup settings.
        disabled = 2,
    };

    struct Error {
        // The system's own text, e.g. "Permission denied".
        QString localizedDescription;
    };

    // `program` is what the entry starts; the running program's absolute path unless given.
    explicit LoginItem(QString program = {});
    virtual ~LoginItem() = default;

    virtual int status() const;
    // Switches the entry under our name on, or writes ours where there is none. Every write
    // replaces the file in one step: a failure leaves the previous file byte for byte. Empty on
    // success.
    virtual std::optional<Error> registerApp();
    // Removes the entry if it is byte for byte the one we write, else switches it off with
    // Hidden=true. Empty on success, also when there was none.
    virtual std::optional<Error> unregisterApp();

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
