#pragma once

#include "model/UserError.h"

#include <QFile>
#include <functional>

// What a call refuses with, as the user reads it (our sentence, or the system's), else "no error".
inline QString messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return localizedDescription(error);
    }
    return QStringLiteral("no error");
}

// A file's bytes; empty when it cannot be read.
inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
