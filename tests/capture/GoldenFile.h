#pragma once

// Compares a data map with a golden JSON file under tests/capture/golden, written by the program's
// own serialiser. With ZORVY_WRITE_GOLDEN=1 in the environment the files are (re)written instead,
// to be read by eye and committed.

#include "DataMapJson.h"

#include <QFile>
#include <QStringList>
#include <QtTest>

namespace GoldenFile {

// Empty when the map's text equals the file, or the file was rewritten; else where they part,
// with a few lines around it.
inline QString difference(const QVariant &map, const QString &name)
{
    const QByteArray actual = DataMapJson::toJson(map);
    QFile file(QStringLiteral(ZORVY_GOLDEN_DIR "/") + name + QStringLiteral(".json"));
    if (qEnvironmentVariableIntValue("ZORVY_WRITE_GOLDEN") == 1) {
        if (!file.open(QIODevice::WriteOnly) || file.write(actual) != actual.size())
            return QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        qInfo("wrote %s", qPrintable(file.fileName()));
        return QString();
    }
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
    const QStringList want = QString::fromUtf8(file.readAll()).split('\n');
    const QStringList got = QString::fromUtf8(actual).split('\n');
    qsizetype line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line])
        ++line;
    if (want == got)
        return QString();
    QString text = QStringLiteral("%1 differs from line %2 on (set ZORVY_WRITE_GOLDEN=1 to "
                                  "rewrite it)\n")
                       .arg(file.fileName())
                       .arg(line + 1);
    for (const QString &same : want.mid(qMax<qsizetype>(0, line - 2), qMin<qsizetype>(line, 2)))
        text += QStringLiteral("    %1\n").arg(same);
    for (const QString &wanted : want.mid(line, 4))
        text += QStringLiteral("  - %1\n").arg(wanted);
    for (const QString &gotten : got.mid(line, 4))
        text += QStringLiteral("  + %1\n").arg(gotten);
    return text;
}

} // namespace GoldenFile

#define COMPARE_WITH_GOLDEN(map, name)                                                             \
    do {                                                                                           \
        const QString difference_ = GoldenFile::difference(map, name);                             \
        QVERIFY2(difference_.isEmpty(), qPrintable(difference_));                                  \
    } while (false)
