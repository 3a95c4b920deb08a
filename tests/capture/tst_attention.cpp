// The states of trains and the wait cycles, over hand-made worlds of tracks in a line or a ring
// (a circle): track i links i - 1 (first link) and i + 1 (second link); a ring links its ends too.
// "throat 4": two platforms 1 and 2 side by side, whose second links are the throat 3; the
// throat's node names the two platforms (first and second link); the line 4 lies beyond it.

#include "AttentionMap.h"
#include "AttentionTracker.h"
#include "LogCategories.h"
#include "RecordWorld.h"

#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

// Row notation. trains: "id@track+" or "id@track-" (sense), then ":" and its speed at each
// capture, comma-separated (a missing speed repeats the last one). reservations: "train>track".
// signals: "track+" or "track-" facing that sense at mid-track, "!" after it when closed.
// Each train's speed at each capture comes on top of the records.
struct World : RecordWorld::World
{
    std::vector<std::vector<double>> speeds;
};

World makeWorld(const QString &layout, const QString &stations, const QString &trains,
                const QString &reservations, const QString &signalList)
{
    World w;
    w.reservations.emplace();
    w.occupations.emplace();
    const QStringList shape = layout.split(' ');
    const quint64 n = shape[1].toULongLong();
    const bool ring = shape[0] == "ring";
    const QStringList stationTracks = stations.split(',', Qt::SkipEmptyParts);
    for (quint64 i = 1; i <= n; ++i) {
        w.tracks.push_back({i, stationTracks.contains(QString::number(i)) ? 9u : 0u, 20});
        const quint64 before = i > 1 ? i - 1 : (ring ? n : 0);
        const quint64 after = i < n ? i + 1 : (ring ? 1 : 0);
        const double angle = 2 * M_PI * double(i) / double(n);
        w.nodes.push_back({i, before, after, ring ? n * std::cos(angle) : double(i),
                           ring ? n * std::sin(angle) : 0.0});
    }
    if (shape[0] == "throat")
        w.nodes = {{1, 0, 3, 0, 0}, {2, 0, 3, 0, 1}, {3, 1, 2, 2, 0.5}, {4, 3, 0, 4, 0.5}};
    for (const QString &token : trains.split(' ', Qt::SkipEmptyParts)) {
        const QStringList parts = token.split(':');
        const QStringList where = parts[0].split('@');
        SdkTrain train{};
        train.id = where[0].toULongLong();
        train.trackId = where[1].chopped(1).toULongLong();
        train.sense = where[1].endsWith('+') ? 1 : -1;
        train.fraction = 0.5;
        train.flags = SdkTrainPresent | SdkTrainPositioned;
        std::vector<double> speeds;
        for (const QString &speed : parts.value(1, "0").split(','))
            speeds.push_back(speed.toDouble());
        w.trains.push_back(train);
        w.speeds.push_back(speeds);
        w.occupations->push_back({train.id, train.trackId, 0, 1});
    }
    for (const QString &token : reservations.split(' ', Qt::SkipEmptyParts)) {
        const QStringList parts = token.split('>');
        w.reservations->push_back({parts[0].toULongLong(), parts[1].toULongLong(), 0, 1});
    }
    quint64 signalId = 1000;
    for (QString token : signalList.split(' ', Qt::SkipEmptyParts)) {
        const bool closed = token.endsWith('!');
        if (closed)
            token.chop(1);
        const int sense = token.endsWith('+') ? 1 : -1;
        w.signalRecords.push_back({++signalId, token.chopped(1).toULongLong(), 0.75, sense, 4});
        SdkSignalTexture texture;
        std::memset(static_cast<void *>(&texture), 0, sizeof texture);
        texture.signalId = signalId;
        texture.flags = SdkTexturePathValid;
        std::strcpy(texture.path, closed ? "red.png" : "green.png");
        w.textures.push_back(texture);
    }
    return w;
}

void toRecords(World &w, int capture, SnapshotRecords &r)
{
    for (std::size_t i = 0; i < w.trains.size(); ++i) {
        const std::vector<double> &speeds = w.speeds[i];
        w.trains[i].speed = speeds[std::min<std::size_t>(std::size_t(capture), speeds.size() - 1)];
    }
    RecordWorld::toRecords(w, 0, r);
}

int closedImage(QByteArrayView path)
{
    return path == QByteArrayView("red.png") ? 1 : 0;
}

// One row of statesAndCycles, in the order of its columns.
void row(const char *tag, const char *layout, const char *stations, const char *trains,
         const char *reservations, const char *signalList, const QList<int> &times,
         const char *states, const char *cycles, const char *events)
{
    QTest::newRow(tag) << QString(layout) << QString(stations) << QString(trains)
                       << QString(reservations) << QString(signalList) << times << QString(states)
                       << QString(cycles) << QString(events);
}

QStringList loggedLines;

void keepAttentionLine(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArrayView(context.category) == "zorvy.attention")
        loggedLines << message;
}

} // namespace

class TestAttention : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void statesAndCycles_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("stations");
        QTest::addColumn<QString>("trains");
        QTest::addColumn<QString>("reservations");
        QTest::addColumn<QString>("signalList");
        QTest::addColumn<QList<int>>("times"); // seconds of each capture
        QTest::addColumn<QString>("states");   // after the last capture
        QTest::addColumn<QString>("cycles");
        QTest::addColumn<QString>("events"); // of the last capture

        const QList<int> once{0};
        const QList<int> late{0, 11};
        row("running", "line 5", "", "1@2+:20", "", "", once, "1=running", "", "");
        row("at a platform at once", "line 5", "2", "1@2+", "", "", once, "1=platform", "", "");
        row("stopped less than the delay: still running", "line 5", "", "1@2+:20,0", "", "",
            {0, 1, 10}, "1=running", "", "");
        row("stalled after the delay", "line 5", "", "1@2+", "", "", late, "1=stalled", "",
            "+stalled 1@0");
        row("stalled counts from its stop", "line 5", "", "1@2+:20,0", "", "", {0, 1, 12},
            "1=stalled", "", "+stalled 1@1");
        row("held: closed signal ahead on its track", "line 5", "", "1@2+", "", "2+!", late,
            "1=held", "", "+held 1@0");
        row("held: closed signal on the track it needs", "line 5", "", "1@2+", "1>3", "3-! 4+!",
            late, "1=held", "", "+held 1@0");
        row("open signal ahead, closed one beyond the track it needs: stalled", "line 5", "",
            "1@2+", "", "2+ 4+!", late, "1=stalled", "", "+stalled 1@0");
        row("closed signal facing the other way: stalled", "line 5", "", "1@2+", "", "2-!", late,
            "1=stalled", "", "+stalled 1@0");
        row("moving 1 s does not end held", "line 5", "", "1@2+:0,0,5,5", "", "2+!",
            {0, 11, 12, 13}, "1=held", "", "");
        row("moving 2 s ends held", "line 5", "", "1@2+:0,0,5,5", "", "2+!", {0, 11, 12, 14},
            "1=running", "", "-held 1");
        row("face to face on a single line: one capture is not enough", "line 6", "", "1@2+ 2@4-",
            "1>3", "", once, "1=running 2=running", "", "");
        row("face to face on a single line: deadlock in the second capture", "line 6", "",
            "1@2+ 2@4-", "1>3", "", {0, 1}, "1=locked 2=locked", "1>2", "+locked 1>2");
        row("three trains round a ring", "ring 6", "", "1@1+ 2@3+ 3@5+", "1>2 2>4 3>6", "", {0, 1},
            "1=locked 2=locked 3=locked", "1>2>3", "+locked 1>2>3");
        row("deadlock broken", "ring 6", "", "1@1+:0,0,0 2@3+:0,0,9 3@5+", "1>2 2>4 3>6", "",
            {0, 1, 2}, "1=stalled 2=running 3=stalled", "",
            "-locked 1>2>3 +stalled 1@0 +stalled 3@0");
        row("queue behind a stalled train is no deadlock", "line 8", "", "1@2+ 2@3+ 3@4+ 4@8+",
            "3>5 3>6 3>7", "", {0, 1, 11}, "1=stalled 2=stalled 3=stalled 4=stalled", "",
            "+stalled 1@0 +stalled 2@0 +stalled 3@0 +stalled 4@0");
        row("a track another occupies is not its own", "line 6", "", "1@2+ 2@3-", "1>3 2>2", "",
            {0, 1}, "1=locked 2=locked", "1>2", "+locked 1>2");
        row("no way back through a throat to the platform beside", "throat 4", "", "1@1+ 2@2+",
            "1>3", "", {0, 1}, "1=running 2=running", "", "");
        row("its own reservations round the ring: waits for nobody", "ring 4", "", "1@1+",
            "1>2 1>3 1>4 1>1", "", {0, 1, 11}, "1=stalled", "", "+stalled 1@0");
        row("unknown trains and tracks in the usage lists", "line 5", "", "1@2+ 1@2+",
            "77>3 1>999 0>3", "", {0, 1}, "1=running", "", "");
        row("NaN speed counts as stopped", "line 5", "", "1@2+:nan", "", "", late, "1=stalled", "",
            "+stalled 1@0");
        row("infinite speeds count as moving", "line 5", "", "1@2+:inf 2@4-:-inf", "", "", late,
            "1=running 2=running", "", "");
        row("a duplicate id closes a cycle through its first record only", "ring 6", "",
            "1@1+ 2@3+ 1@5+", "1>2 2>4", "", {0, 1}, "1=locked 2=locked", "1>2", "+locked 1>2");
        row("train on a track without node or link", "line 3", "", "1@50+ 2@3+", "2>4", "", late,
            "1=stalled 2=stalled", "", "+stalled 1@0 +stalled 2@0");
    }

    void statesAndCycles()
    {
        QFETCH(QString, layout);
        QFETCH(QString, stations);
        QFETCH(QString, trains);
        QFETCH(QString, reservations);
        QFETCH(QString, signalList);
        QFETCH(QList<int>, times);

        World world = makeWorld(layout, stations, trains, reservations, signalList);
        AttentionTracker tracker;
        SnapshotRecords records;
        for (int i = 0; i < times.size(); ++i) {
            toRecords(world, i, records);
            tracker.update(records, times[i] * 1000, closedImage);
        }
        QStringList states, cycles, events;
        for (const AttentionTracker::Train &train : tracker.trains())
            states << QString::number(train.id) + '=' + stateName(train.state);
        const auto cycleText = [](const std::vector<quint64> &cycle) {
            QStringList ids;
            for (const quint64 id : cycle)
                ids << QString::number(id);
            return ids.join('>');
        };
        for (const auto &cycle : tracker.cycles())
            cycles << cycleText(cycle);
        for (const AttentionTracker::Event &event : tracker.events())
            events << QString(event.started ? "+" : "-") + stateName(event.state) + ' ' +
                          (event.cycle.empty() ? QString::number(event.train)
                                               : cycleText(event.cycle)) +
                          (event.started && event.cycle.empty()
                               ? '@' + QString::number(event.sinceMs / 1000)
                               : QString());
        QTEST(states.join(' '), "states");
        QTEST(cycles.join(' '), "cycles");
        QTEST(events.join(' '), "events");
    }

    void thousandsOfStoppedTrains_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("cycles");
        QTest::addRow("a queue of 5000") << "line" << 0;
        QTest::addRow("a ring of 5000") << "ring" << 1;
    }

    void thousandsOfStoppedTrains()
    {
        QFETCH(QString, layout);
        constexpr int count = 5000;
        QStringList trains;
        for (int i = 1; i <= count; ++i)
            trains << QStringLiteral("%1@%1+").arg(i);
        World world =
            makeWorld(layout + ' ' + QString::number(count), "", trains.join(' '), "", "");
        AttentionTracker tracker;
        SnapshotRecords records;
        for (int i = 0; i < 3; ++i) {
            toRecords(world, i, records);
            tracker.update(records, i * 11000, closedImage);
        }
        QTEST(int(tracker.cycles().size()), "cycles");
        if (tracker.cycles().size() == 1)
            QCOMPARE(int(tracker.cycles().begin()->size()), count);
        QCOMPARE(tracker.count(layout == "ring" ? AttentionTracker::State::Locked
                                                : AttentionTracker::State::Stalled),
                 count);
    }

    // Alert log lines stay one line each, with a stable text, whatever the library's names hold.
    void alertLogLines_data()
    {
        QTest::addColumn<QByteArray>("name"); // of the station near the train, and of the train
        QTest::addColumn<QString>("place");   // as logged
        QTest::newRow("plain") << QByteArray("Valmont") << "Valmont";
        QTest::newRow("newline") << QByteArray("Val\nmont") << "Val?mont";
        QTest::newRow("carriage return and newline") << QByteArray("Val\r\nmont") << "Val??mont";
        QTest::newRow("tab, escape sequence, DEL")
            << QByteArray("Val\t\x1b[2Jmont\x7f") << "Val??[2Jmont?";
        QTest::newRow("C1 next line") << QByteArray("Val\xc2\x85mont") << "Val?mont";
        QTest::newRow("line and paragraph separators")
            << QByteArray("Val\xe2\x80\xa8mo\xe2\x80\xa9nt") << "Val?mo?nt";
        QTest::newRow("bidirectional controls and marks")
            << QByteArray("\xe2\x80\xaeVal\xe2\x81\xa6mont\xe2\x80\x8f") << "Valmont?";
        QTest::newRow("invalid UTF-8") << QByteArray("Val\xffmont") << QString("Val\uFFFDmont");
        QTest::newRow("name that fills its record, no NUL")
            << QByteArray(sizeof(SdkStation::name), 'A') << QString(sizeof(SdkStation::name), 'A');
    }

    void alertLogLines()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, place);
        // Train 1 stands on track 1 (open line) next to station 9 (track 3); it stalls, then runs
        // on.
        World world = makeWorld("line 5", "3", "1@1+:0,0,9,9", "", "");
        SdkStation station{};
        station.id = 9;
        std::memcpy(station.name, name.constData(),
                    std::min(sizeof station.name, size_t(name.size())));
        world.stations.push_back(station);
        std::memcpy(world.trains[0].name, station.name, sizeof station.name);

        loggedLines.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepAttentionLine);
        AttentionTracker tracker;
        SnapshotRecords records;
        const QList<int> times{0, 11, 12, 14};
        for (int i = 0; i < times.size(); ++i) {
            toRecords(world, i, records);
            tracker.update(records, times[i] * 1000, closedImage);
            QVariantMap data;
            AttentionMap::write(data, tracker, records, {times[i] * 1000, times[i] * 1000, false});
        }
        qInstallMessageHandler(previous);
        const QString where = " place=near " + place + " track 0000000000000001";
        QCOMPARE(loggedLines,
                 QStringList({"ALERT start train=0000000000000001 state=stalled" + where,
                              "ALERT end train=0000000000000001 state=stalled" + where}));
    }
};

QTEST_GUILESS_MAIN(TestAttention)
#include "tst_attention.moc"
