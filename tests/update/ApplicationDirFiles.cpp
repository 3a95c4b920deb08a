#include "ApplicationDirFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace

ApplicationDirFiles::ApplicationDirFiles()
{
    removeAll(); // left over by a run that was killed
}

ApplicationDirFiles::~ApplicationDirFiles()
{
    removeAll();
}

QString ApplicationDirFiles::configurationPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/update.json");
}

QString ApplicationDirFiles::markerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/.kvd-project.json");
}

void ApplicationDirFiles::removeAll()
{
    QFile::remove(configurationPath());
    QFile::remove(markerPath());
}

bool ApplicationDirFiles::writeConfiguration(const QByteArray &content)
{
    return writeFile(configurationPath(), content);
}

bool ApplicationDirFiles::writeFeed(const QUrl &feed)
{
    const QJsonObject object{{QStringLiteral("feed"), feed.toString()}};
    return writeConfiguration(QJsonDocument(object).toJson());
}

bool ApplicationDirFiles::writeMarker()
{
    return writeFile(markerPath(), "{}");
}
