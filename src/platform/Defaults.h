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

    // Invalid when nothing is stored under `key`; a bool when the stored value is a boolean (the
    // file holds "true" or "false"); otherwise the value as stored.
    virtual QVariant objectForKey(const QString& key);
    // Stores the value and writes the file at once, so that it survives a crash right after.
    // False when the file could not be written; the value then lives on in memory only.
    virtual bool setBool(bool value, const QString& key);

    const QString& fileName() const { return path; }

  private:
    QString path;
    std::unique_ptr<QSettings> settings;
};

}  // namespace platform
