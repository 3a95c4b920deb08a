#pragma once

#include <QString>
#include <QStringList>

// The signal images of the game: one PNG per native signal state, drawn at start into a texture
// folder, and optionally one file that is not an image at all.
class SignalTextureSet
{
public:
    static constexpr int stateCount = 11; // native states 0 to 10

    // Writes the images into dir (created if needed). False with *error when a file cannot be
    // written.
    bool write(const QString &dir, bool withBrokenFile, QString *error);
    QString pathForState(int state) const { return m_statePaths.value(state); }
    QString brokenPath() const { return m_brokenPath; }

private:
    QStringList m_statePaths;
    QString m_brokenPath;
};
