#pragma once

// Running the real program from the tests that drive it end to end, and the signal images they
// hand to the game.

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

struct Run
{
    int exitCode = -1;
    QStringList lines; // standard output
    QString log;       // standard error (the message log)
    QString verify() const { return lines.value(lines.size() - 2); } // the VERIFY line
    QStringList live() const { return lines.filter(QRegularExpression("^LIVE ")); }
};

// A program still running after timeoutMs is killed and gives the exit code -1.
inline Run runTco(const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess process; // killed when it dies
    process.start(QCoreApplication::applicationDirPath() + "/ZorvyTco", arguments);
    Run run;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.log = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Writes n (at most four) images signal<i>.png of different colours into dir.
inline QStringList writeTextures(const QString &dir, int n)
{
    QStringList paths;
    const QColor colours[] = {Qt::red, Qt::green, Qt::yellow, Qt::blue};
    for (int i = 0; i < n && i < 4; ++i) {
        QImage image(32, 48, QImage::Format_ARGB32);
        image.fill(colours[i]);
        paths << QDir(dir).filePath(QString("signal%1.png").arg(i));
        if (!image.save(paths.last()))
            qFatal("cannot write %s", qPrintable(paths.last()));
    }
    return paths;
}
