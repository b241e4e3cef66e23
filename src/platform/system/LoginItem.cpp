#include "platform/system/LoginItem.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <filesystem>

namespace platform {

namespace {

// Marks an entry as written by us, so a file the user or another tool left under our name is
// not mistaken for ours.
const QString ownerKey = "X-Spoutwise-LoginItem";

// The [Desktop Entry] group's keys and values; other groups and comments are skipped.
QHash<QString, QString> desktopEntry(const QString& path) {
    QFile file(path);
    QHash<QString, QString> entry;
    if (!file.open(QIODevice::ReadOnly)) {
        return entry;
    }
    bool inGroup = false;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split('\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Desktop Entry]";
        } else if (inGroup && !line.startsWith('#') && line.contains('=')) {
            const auto at = line.indexOf('=');
            entry.insert(line.left(at).trimmed(), line.mid(at + 1).trimmed());
        }
    }
    return entry;
}

LoginItem::Error systemError(const std::error_code& code) {
    return {QString::fromStdString(code.message())};
}

}  // namespace

LoginItem::LoginItem(QString program)
    : program(program.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(program)) {}

QString LoginItem::autostartFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) + "/autostart";
}

QString LoginItem::entryPath() {
    return autostartFolder() + "/" SPOUTWISE_APP_ID ".desktop";
}

int LoginItem::status() const {
    if (!QFile::exists(entryPath())) {
        return notRegistered;
    }
    const auto entry = desktopEntry(entryPath());
    if (entry.value(ownerKey) != "true") {
        return foreign;
    }
    const bool off =
        entry.value("Hidden") == "true" || entry.value("X-GNOME-Autostart-enabled") == "false";
    return off ? disabled : enabled;
}

std::optional<LoginItem::Error> LoginItem::registerApp() {
    std::error_code code;
    std::filesystem::create_directories(autostartFolder().toStdString(), code);
    if (code) {
        return systemError(code);
    }
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText().toUtf8()) < 0 ||
        !file.commit()) {
        return Error{file.errorString()};
    }
    return std::nullopt;
}

std::optional<LoginItem::Error> LoginItem::unregisterApp() {
    std::error_code code;
    std::filesystem::remove(entryPath().toStdString(), code);
    if (code) {
        return systemError(code);
    }
    return std::nullopt;
}

QString LoginItem::execValue(const QString& program) {
    QString quoted;
    for (const QChar c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    // A literal percent sign would read as a field code.
    quoted.replace('%', "%%");
    // The string escapes apply before the quoting rule, so every backslash is written twice.
    quoted.replace('\\', "\\\\").replace('\n', "\\n").replace('\t', "\\t").replace('\r', "\\r");
    return '"' + quoted + '"';
}

QString LoginItem::entryText() const {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Spoutwise\n"
           "Comment=菜单栏 CPU 监控小工具\n"
           "Exec=" +
           execValue(program) +
           "\n"
           "Icon=" SPOUTWISE_APP_ID
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n" +
           ownerKey + "=true\n";
}

}  // namespace platform
