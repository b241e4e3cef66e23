#include "platform/system/Defaults.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace platform {

namespace {

// Every line a section header, a comment or key=value, in UTF-8. QSettings reads past anything
// else and, on the next write, drops it from the file without a word.
bool wellFormedIni(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError() || bytes.contains('\0')) {
        return false;
    }
    for (const QString& raw : text.split('\n')) {
        const QString line = raw.trimmed();
        const bool fine = line.isEmpty() || line.startsWith(';') || line.startsWith('#') ||
                          (line.startsWith('[') && line.endsWith(']')) || line.indexOf('=') > 0;
        if (!fine) {
            return false;
        }
    }
    return true;
}

}  // namespace

Defaults::Defaults(const QString& path) : path(path) {
    reload();
}

QString Defaults::standardPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/spoutwise/spoutwise.conf";
}

std::optional<bool> Defaults::boolValue(const QString& key) {
    if (!usable) {
        return std::nullopt;
    }
    // The INI file keeps no types: a boolean read from it comes back as its text, one written in
    // this process as a boolean.
    const QVariant value = settings->value(key);
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    const QString text = value.typeId() == QMetaType::QString ? value.toString() : QString();
    if (text == "true" || text == "false") {
        return text == "true";
    }
    return std::nullopt;
}

bool Defaults::setValue(const QString& key, bool value) {
    // QSettings goes on reporting its first error for good; a fresh one tells whether this write
    // reached the disk.
    reload();
    // A file that cannot be read in full is left as the user has it, not rewritten without the
    // parts that could not be read.
    if (!usable) {
        return false;
    }
    settings->setValue(key, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

void Defaults::reload() {
    settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    QFile file(path);
    if (!file.exists()) {
        usable = true;
        return;
    }
    usable = file.open(QIODevice::ReadOnly) && wellFormedIni(file.readAll());
    // Reading settles the status: a format or access error shows only after the first read.
    settings->allKeys();
    usable = usable && settings->status() == QSettings::NoError;
}

}  // namespace platform
