#pragma once

#include <QByteArray>
#include <QDebug>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <ostream>

// Readable failure messages for Qt values in GoogleTest assertions.
template <typename T>
void printWithQDebug(const T& value, std::ostream* os) {
    QString text;
    QDebug(&text).nospace() << value;
    *os << text.toStdString();
}

inline void PrintTo(const QString& value, std::ostream* os) {
    printWithQDebug(value, os);
}
inline void PrintTo(const QStringList& value, std::ostream* os) {
    printWithQDebug(value, os);
}
inline void PrintTo(const QVariant& value, std::ostream* os) {
    printWithQDebug(value, os);
}
inline void PrintTo(const QVariantMap& value, std::ostream* os) {
    printWithQDebug(value, os);
}
inline void PrintTo(const QSize& value, std::ostream* os) {
    printWithQDebug(value, os);
}
inline void PrintTo(const QByteArray& value, std::ostream* os) {
    *os << value.size() << " bytes " << value.left(16).toHex(' ').toStdString();
}
