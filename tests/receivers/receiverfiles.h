#pragma once

#include <QFile>

// A file's whole content, or nothing when it cannot be read (yet): the
// receivers report through files that appear once they are ready.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
