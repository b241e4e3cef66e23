#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace platform {

// The user's stored preferences, in $XDG_CONFIG_HOME/spoutwise/spoutwise.conf (INI), or in a
// file a test names.
class Defaults {
  public:
    explicit Defaults(const QString& path = standardPath());

    static QString standardPath();

    // The boolean stored under `key` (the file holds "true" or "false"); empty when nothing or
    // something else is stored there, or the file cannot be read or parsed.
    std::optional<bool> boolValue(const QString& key);
    // Stores the value and writes the file at once, so that it survives a crash right after.
    // False when the value could not be stored: the file could not be written, or could not be
    // read or parsed, and is then left as it is.
    bool setValue(const QString& key, bool value);

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
