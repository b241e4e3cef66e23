#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace platform {

// The user's stored preferences, in $XDG_CONFIG_HOME/spoutwise/spoutwise.conf (INI). Tests derive
// or hand in a path of their own.
class Defaults {
  public:
    explicit Defaults(const QString& path = standardPath());
    virtual ~Defaults() = default;

    static QString standardPath();

    // Invalid when nothing is stored under `key` or the file cannot be read or parsed; a bool when
    // the stored value is a boolean (the file holds "true" or "false"); otherwise the value as
    // stored.
    virtual QVariant objectForKey(const QString& key);
    // Stores the value and writes the file at once, so that it survives a crash right after.
    // False when the value could not be stored: the file could not be written, or could not be
    // read or parsed, and is then left as it is.
    virtual bool setBool(bool value, const QString& key);

    const QString& fileName() const { return path; }

  private:
    // Reads the file afresh and settles whether it can be used.
    void reload();

    QString path;
    std::unique_ptr<QSettings> settings;
    // False for a file that cannot be read or parsed: nothing is read from it or written to it.
    bool usable = true;
};

}  // namespace platform
