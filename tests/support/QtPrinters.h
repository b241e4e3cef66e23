#pragma once

#include <QDebug>
#include <ostream>

// Readable failure messages for Qt values in GoogleTest assertions.
inline void PrintTo(const QVariant& value, std::ostream* os) {
    QString text;
    QDebug(&text).nospace() << value;
    *os << text.toStdString();
}
inline void PrintTo(const QString& value, std::ostream* os) {
    *os << '"' << value.toStdString() << '"';
}
