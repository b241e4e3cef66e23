#include "platform/system/LoginItem.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>

namespace platform {

namespace {

namespace fs = std::filesystem;

// A `key=value` line's key and value, trimmed; an empty key for group headers, comments and
// blank lines.
std::pair<QByteArray, QByteArray> keyValue(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    const auto at = trimmed.indexOf('=');
    if (at <= 0 || trimmed.startsWith('#') || trimmed.startsWith('[')) {
        return {};
    }
    return {trimmed.left(at).trimmed(), trimmed.mid(at + 1).trimmed()};
}

// The lines [first, end) after the [Desktop Entry] header, up to the next group; other groups
// and their keys are left alone.
std::pair<qsizetype, qsizetype> entryGroup(const QList<QByteArray>& lines) {
    std::optional<qsizetype> first;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (first && line.startsWith('[')) {
            return {*first, i};
        }
        if (line == "[Desktop Entry]") {
            first = i + 1;
        }
    }
    return {first.value_or(lines.size()), lines.size()};
}

bool switchesOff(const QByteArray& line) {
    const auto [key, value] = keyValue(line);
    return (key == "Hidden" && value == "true") ||
           (key == "X-GNOME-Autostart-enabled" && value == "false");
}

bool isOff(const QList<QByteArray>& lines) {
    const auto [first, end] = entryGroup(lines);
    return std::any_of(lines.begin() + first, lines.begin() + end, switchesOff);
}

// Undoes what switchedOff() and the desktops' startup settings do, and nothing else.
QByteArray switchedOn(QList<QByteArray> lines) {
    const auto [first, end] = entryGroup(lines);
    for (qsizetype i = end - 1; i >= first; --i) {
        if (!switchesOff(lines[i])) {
            continue;
        }
        if (keyValue(lines[i]).first == "Hidden") {
            lines.removeAt(i);
        } else {
            lines[i] = "X-GNOME-Autostart-enabled=true";
        }
    }
    return lines.join('\n');
}

// Hidden=true in place of a Hidden key, else after the group's last line that is not blank.
QByteArray switchedOff(QList<QByteArray> lines) {
    const auto [first, end] = entryGroup(lines);
    qsizetype at = first;
    for (qsizetype i = first; i < end; ++i) {
        if (keyValue(lines[i]).first == "Hidden") {
            lines[i] = "Hidden=true";
            return lines.join('\n');
        }
        if (!lines[i].trimmed().isEmpty()) {
            at = i + 1;
        }
    }
    lines.insert(at, "Hidden=true");
    return lines.join('\n');
}

LoginItem::Error systemError(const std::error_code& code) {
    return {QString::fromStdString(code.message())};
}

std::optional<LoginItem::Error> makeFolder(const fs::path& folder) {
    std::error_code code;
    fs::create_directories(folder, code);
    if (!code) {
        return std::nullopt;
    }
    // A dangling link on the way makes mkdir say "File exists", which names no culprit.
    for (fs::path path = folder; path.has_relative_path(); path = path.parent_path()) {
        std::error_code ignored;
        if (fs::is_symlink(path, ignored) && !fs::exists(path, ignored)) {
            return LoginItem::Error{
                QString("文件夹 %1 是失效的符号链接：它指向的 %2 不存在")
                    .arg(QFile::decodeName(path.c_str()),
                         QFile::decodeName(fs::read_symlink(path, ignored).c_str()))};
        }
    }
    return systemError(code);
}

std::optional<LoginItem::Error> readEntry(QByteArray& text) {
    QFile file(LoginItem::entryPath());
    if (!file.open(QIODevice::ReadOnly)) {
        return LoginItem::Error{file.errorString()};
    }
    text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return LoginItem::Error{file.errorString()};
    }
    return std::nullopt;
}

std::optional<LoginItem::Error> writeEntry(const QByteArray& text) {
    if (auto error = makeFolder(QFile::encodeName(LoginItem::autostartFolder()).constData())) {
        return error;
    }
    QSaveFile file(LoginItem::entryPath());
    // Unbuffered, so that a write the file system refuses (a full disk) fails here: a buffered
    // one fails inside commit(), which can then still replace the file with an empty one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(text) != text.size() || !file.commit()) {
        return LoginItem::Error{file.errorString()};
    }
    return std::nullopt;
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

bool LoginItem::isEnabled() const {
    if (!QFile::exists(entryPath())) {
        return false;
    }
    // One that cannot be read still exists and is not known to be off.
    QByteArray text;
    readEntry(text);
    return !isOff(text.split('\n'));
}

std::optional<LoginItem::Error> LoginItem::registerApp() {
    if (!QFile::exists(entryPath())) {
        return writeEntry(entryText().toUtf8());
    }
    QByteArray text;
    if (auto error = readEntry(text)) {
        return error;
    }
    const QList<QByteArray> lines = text.split('\n');
    return isOff(lines) ? writeEntry(switchedOn(lines)) : std::nullopt;
}

std::optional<LoginItem::Error> LoginItem::unregisterApp() {
    if (!QFile::exists(entryPath())) {
        return std::nullopt;
    }
    QByteArray text;
    if (auto error = readEntry(text)) {
        return error;
    }
    if (text == entryText().toUtf8()) {
        std::error_code code;
        fs::remove(QFile::encodeName(entryPath()).constData(), code);
        return code ? std::optional(systemError(code)) : std::nullopt;
    }
    const QList<QByteArray> lines = text.split('\n');
    return isOff(lines) ? std::nullopt : writeEntry(switchedOff(lines));
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
           "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace platform
