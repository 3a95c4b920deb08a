#pragma once

#include "Backend.h"
#include "Recorder.h"
#include "RecordingList.h"
#include "Replay.h"

#include <QObject>
#include <QThread>
#include <QVariantList>

#include <atomic>
#include <memory>

// The window's recordings: the list of the recordings folder (read on a thread of its own), a
// recording opened for replay beside the live game, which goes on being captured and recorded,
// and the way back to it. A replay opened here has its own Backend and reader thread; the window
// shows that Backend's maps instead of the live one's while it is open.
class RecordingShelf : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString folder READ folder CONSTANT)
    // One map per recording: path, fileName, game, start (text), length (text), size (text),
    // problem (empty: it can be replayed), busy (being written or shown).
    Q_PROPERTY(QVariantList entries READ entries NOTIFY entriesChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY entriesChanged)
    // Why the listing is incomplete ("500 premiers…", a folder that cannot be read), or empty.
    Q_PROPERTY(QString listNote READ listNote NOTIFY entriesChanged)
    // The replay opened from the window and its Backend (null: the window shows the live game).
    Q_PROPERTY(QObject *replay READ replay NOTIFY shownChanged)
    Q_PROPERTY(QObject *backend READ backend NOTIFY shownChanged)
    // What went wrong last (a recording that cannot be opened, renamed or deleted), or empty.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    // The name of the recording being opened (its file checked and its captures read, off the
    // GUI thread), or empty.
    Q_PROPERTY(QString opening READ opening NOTIFY openingChanged)

public:
    // The recorders (null ones left out) write files that cannot be renamed or deleted;
    // startupReplay is the recording the command line shows, if any.
    RecordingShelf(std::vector<std::shared_ptr<Recorder>> recorders, const QString &startupReplay,
                   QObject *parent = nullptr);
    ~RecordingShelf() override;

    QString folder() const { return Recorder::folder(); }
    QVariantList entries() const { return m_entries; }
    bool loading() const { return m_scan != nullptr; }
    QString listNote() const { return m_listNote; }
    QObject *replay() const { return m_replay.get(); }
    QObject *backend() const { return m_backend.get(); }
    QString error() const { return m_error; }
    QString opening() const { return m_opening; }

    // Reads the folder again, off the GUI thread.
    Q_INVOKABLE void refresh();
    // Opens the recording at path (a local path or a file URL) on a thread of its own, then shows
    // it instead of the live game (opened()); when it cannot be read the reason is in error and
    // what was shown stays. False, and nothing done, while another recording is being opened.
    Q_INVOKABLE bool open(const QString &path);
    // Back to the live game.
    Q_INVOKABLE void close();
    // An empty text, or why nothing was done; the list is read again.
    Q_INVOKABLE QString rename(const QString &path, const QString &newName);
    // The same, the reason also in error.
    Q_INVOKABLE QString remove(const QString &path);
    Q_INVOKABLE void clearError() { setError(QString()); }

signals:
    void entriesChanged();
    void shownChanged();
    void errorChanged();
    void openingChanged();
    // The recording asked for is shown.
    void opened();

private:
    QStringList busyPaths() const;
    void setError(const QString &text);
    void takeListing();
    // Shows the recording the opening thread read, or its error.
    void takeOpened();
    void show(std::shared_ptr<Replay> replay, const QString &path);

    std::vector<std::shared_ptr<Recorder>> m_recorders;
    QString m_startupReplay;
    QString m_shownPath;
    // The Backend reads the Replay on its reader thread: it goes first.
    std::shared_ptr<Replay> m_replay;
    std::shared_ptr<Backend> m_backend;
    QVariantList m_entries;
    QString m_listNote;
    QString m_error;
    QThread *m_scan = nullptr;
    RecordingList::Listing m_listing; // written by the scan, read once it has finished
    bool m_rescan = false;
    std::atomic<bool> m_cancelScan{false}; // the program ends: the listing stops early
    // The recording being opened: its name, its thread, and what the thread left once finished.
    QString m_opening;
    QString m_openingPath;
    QThread *m_openThread = nullptr;
    std::unique_ptr<RecordingReader> m_openedReader;
    QString m_openError;
};
