#include "platform/Defaults.h"

#include <QStandardPaths>

namespace platform {

Defaults::Defaults(const QString& path)
    : path(path), settings(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

QString Defaults::standardPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/spoutwise/spoutwise.conf";
}

QVariant Defaults::objectForKey(const QString& key) {
    const QVariant value = settings->value(key);
    // The INI file keeps no types: a boolean comes back as its text.
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == "true" || text == "false") {
            return QVariant(text == "true");
        }
    }
    return value;
}

bool Defaults::setBool(bool value, const QString& key) {
    // QSettings goes on reporting its first error for good; a fresh one lets this write tell
    // whether it reached the disk.
    if (settings->status() != QSettings::NoError) {
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    settings->setValue(key, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

}  // namespace platform
