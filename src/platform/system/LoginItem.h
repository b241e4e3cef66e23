#pragma once

#include <QString>
#include <optional>

namespace platform {

// Starting the application at login, through an XDG autostart entry
// $XDG_CONFIG_HOME/autostart/<app id>.desktop that starts the running program. Every call looks
// at the file afresh, so changes made meanwhile by the desktop's own settings count.
class LoginItem {
  public:
    // 1 is the only status that means the application starts at login.
    enum Status {
        notRegistered = 0,
        enabled = 1,
        // Our entry, switched off by the desktop's startup settings (Hidden or
        // X-GNOME-Autostart-enabled=false).
        disabled = 2,
        // An entry under our name that we did not write.
        foreign = 3,
    };

    struct Error {
        // The system's own text, e.g. "Permission denied".
        QString localizedDescription;
    };

    // `program` is what the entry starts; the running program's absolute path unless given.
    explicit LoginItem(QString program = {});
    virtual ~LoginItem() = default;

    virtual int status() const;
    // Writes our enabled entry in one step (a failure leaves the previous file in place). Empty on
    // success.
    virtual std::optional<Error> registerApp();
    // Removes the entry; empty on success, also when there was none.
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
