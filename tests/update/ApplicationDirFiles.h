#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Writes the updater's files next to the test programs ("update.json", ".kvd-project.json") and
// removes both when it goes out of scope, whether the test passed or not. The test programs share
// that folder, so every test that uses this holds the CTest lock "zorvy_update_config".
class ApplicationDirFiles
{
public:
    ApplicationDirFiles();
    ~ApplicationDirFiles();
    ApplicationDirFiles(const ApplicationDirFiles &) = delete;
    ApplicationDirFiles &operator=(const ApplicationDirFiles &) = delete;

    bool writeConfiguration(const QByteArray &content);
    bool writeFeed(const QUrl &feed);
    bool writeMarker();

    static QString configurationPath();
    static QString markerPath();
    static void removeAll();
};
