#pragma once

// Compares a data map with a golden JSON file under tests/sdk/golden, written by the program's own
// serialiser. With ZORVY_WRITE_GOLDEN=1 in the environment the files are (re)written instead, to
// be read by eye and committed.

#include "DataMapJson.h"

#include <QFile>
#include <QStringList>
#include <QtTest>

namespace GoldenFile {

inline QString path(const QString &name)
{
    return QStringLiteral(ZORVY_GOLDEN_DIR "/") + name + QStringLiteral(".json");
}

// Empty when the text equals the file; else where they part, with a few lines around it.
inline QString difference(const QByteArray &actual, const QString &name)
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
    const QByteArray expected = file.readAll();
    if (expected == actual)
        return QString();
    const QStringList want = QString::fromUtf8(expected).split('\n');
    const QStringList got = QString::fromUtf8(actual).split('\n');
    qsizetype line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line])
        ++line;
    QString text = QStringLiteral("%1 differs from line %2 on (set ZORVY_WRITE_GOLDEN=1 to "
                                  "rewrite it)\n")
                       .arg(file.fileName())
                       .arg(line + 1);
    for (qsizetype i = qMax<qsizetype>(0, line - 2); i < line; ++i)
        text += QStringLiteral("    %1\n").arg(want[i]);
    for (qsizetype i = line; i < qMin(want.size(), line + 4); ++i)
        text += QStringLiteral("  - %1\n").arg(want[i]);
    for (qsizetype i = line; i < qMin(got.size(), line + 4); ++i)
        text += QStringLiteral("  + %1\n").arg(got[i]);
    return text;
}

} // namespace GoldenFile

#define COMPARE_WITH_GOLDEN(map, name)                                                             \
    do {                                                                                           \
        const QByteArray json_ = DataMapJson::toJson(map);                                         \
        if (qEnvironmentVariableIntValue("ZORVY_WRITE_GOLDEN") == 1) {                             \
            QFile out_(GoldenFile::path(name));                                                    \
            QVERIFY2(out_.open(QIODevice::WriteOnly) && out_.write(json_) == json_.size(),         \
                     qPrintable(out_.fileName()));                                                 \
            qInfo("wrote %s", qPrintable(out_.fileName()));                                        \
        } else {                                                                                   \
            const QString difference_ = GoldenFile::difference(json_, name);                       \
            QVERIFY2(difference_.isEmpty(), qPrintable(difference_));                              \
        }                                                                                          \
    } while (false)
