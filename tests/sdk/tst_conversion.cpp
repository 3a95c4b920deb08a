#include "DataMap.h"
#include "GameProcess.h"
#include "GeometryBlob.h"
#include "SdkApi.h"
#include "SdkCopy.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <stdexcept>

Q_DECLARE_METATYPE(ViewParameters)

namespace {

using OpenSnapshotCountFn = uint32_t (*)();
OpenSnapshotCountFn openSnapshotCount = nullptr;

QString id(quint64 value)
{
    return DataMap::idText(value);
}

QJsonObject object(std::initializer_list<QPair<QString, QJsonValue>> fields)
{
    QJsonObject o;
    for (const auto &field : fields)
        o.insert(field.first, field.second);
    return o;
}

ViewParameters view(qint32 scope, qint32 page = 0, quint64 station = 0, quint64 track = 0,
                    quint64 train = 0, quint64 revision = 1)
{
    ViewParameters v;
    v.scope = scope;
    v.page = page;
    v.station = station;
    v.track = track;
    v.train = train;
    v.revision = revision;
    return v;
}

QStringList idsOf(const QVariantList &maps, const QString &key = QStringLiteral("id"))
{
    QStringList ids;
    for (const QVariant &map : maps)
        ids << map.toMap().value(key).toString();
    return ids;
}

// One running game with a scenario and a library session on it; both end with the object.
class ObservedGame
{
public:
    ObservedGame() = default;
    ObservedGame(const ObservedGame &) = delete;
    ObservedGame &operator=(const ObservedGame &) = delete;
    ~ObservedGame()
    {
        if (m_session != 0)
            ZorvySdk_CloseSession(m_session);
    }

    bool start(const QJsonObject &scenario)
    {
        const QString file = GameProcess::writeScenario(scenario, m_dir.path());
        if (!m_game.start({QStringLiteral("--scenario"), file})) {
            m_error = m_game.errorString();
            return false;
        }
        const SdkStatus status = ZorvySdk_OpenProcess(1, quint32(m_game.processId()), &m_session);
        if (status != 0) {
            m_error = QString::fromUtf8(ZorvySdk_StatusString(status));
            m_session = 0;
            return false;
        }
        return true;
    }

    QVariantMap convert(const ViewParameters &v) const
    {
        return convertSnapshot(m_session, quint32(m_game.processId()), v);
    }

    // The text of a failed conversion; empty when it succeeded.
    QString failure(const ViewParameters &v) const
    {
        try {
            convert(v);
        } catch (const std::runtime_error &error) {
            return QString::fromUtf8(error.what());
        }
        return QString();
    }

    qint64 processId() const { return m_game.processId(); }
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_dir;
    GameProcess m_game;
    SdkSession m_session = 0;
    QString m_error;
};

#define START_GAME(game, scenario)                                                                 \
    QVERIFY2((game).start(scenario), qPrintable((game).errorString()))

// The world of the detailed cases: every edge of names, kinds, states, textures and selection.
QJsonObject edgeWorld()
{
    const QString name257 = QString(QStringLiteral("41")).repeated(257);
    return object({
        {"stations",
         QJsonArray{object({{"id", 26}, {"name", ""}}), object({{"id", 27}, {"nameHex", name257}}),
                    object({{"id", 28}, {"nameHex", "56C3A96C6FFF00"}})}},
        {"tracks", QJsonArray{object({{"id", 1}, {"stationId", 26}, {"speedLimit", 22.5}}),
                              object({{"id", 2}, {"stationId", 0}, {"speedLimit", 10}}),
                              object({{"id", 3}, {"stationId", 99}}),
                              object({{"id", 4}, {"stationId", 27}, {"speedLimit", 5}}),
                              object({{"id", "0xFFFFFFFFFFFFFFF0"}, {"stationId", 28}})}},
        {"nodes", QJsonArray{object({{"id", 1}, {"neighbour1", 2}, {"x", 0.0}, {"y", 0.0}}),
                             object({{"id", 2}, {"neighbour1", 1}, {"neighbour2", 3}, {"x", 10.0}}),
                             object({{"id", 2}, {"neighbour1", 3}, {"x", 11.0}, {"y", -1.5}}),
                             object({{"id", 3}, {"neighbour1", 2}, {"x", 20.0}, {"y", 5.0}})}},
        {"trains",
         QJsonArray{object({{"id", 5},
                            {"name", "IC 12"},
                            {"trackId", 1},
                            {"speed", 12.5},
                            {"fraction", 0.457},
                            {"sense", 1},
                            {"flags", 3},
                            {"path", QJsonArray{1, 2, 3}}}),
                    object({{"id", 6},
                            {"name", "Fret 6"},
                            {"trackId", 2},
                            {"fraction", 0.1},
                            {"sense", -1},
                            {"flags", 1},
                            {"path", QJsonArray{4}}}),
                    object({{"id", 7}, {"name", "TER 7"}, {"trackId", 4}, {"flags", 2 | 8}}),
                    object({{"id", "0x8000000000000005"},
                            {"name", "Nuit"},
                            {"trackId", 1},
                            {"speed", 1},
                            {"fraction", 0.9},
                            {"sense", 2},
                            {"flags", 3},
                            {"path", QJsonArray{}}})}},
        {"signals",
         QJsonArray{
             object({{"id", 100}, {"trackId", 1}, {"fraction", 0.5}, {"sense", 1}, {"kind", 2}}),
             object({{"id", 101}, {"trackId", 1}, {"fraction", 0.25}, {"sense", -1}, {"kind", 3}}),
             object({{"id", 102}, {"trackId", 2}, {"fraction", 0.75}, {"sense", 1}, {"kind", 6}}),
             object({{"id", 103}, {"trackId", 3}, {"fraction", 0.1}, {"kind", 9}}),
             object({{"id", 104}, {"trackId", 77}, {"kind", 1}})}},
        {"signalStates",
         QJsonArray{
             object({{"signalId", 100},
                     {"flags", 6},
                     {"nativeState", -1},
                     {"label1", "Voie libre"},
                     {"label2", "VL"}}),
             object({{"signalId", 100},
                     {"flags", 6},
                     {"nativeState", 5},
                     {"label1", "Second"},
                     {"label2", "ignoré"}}),
             object({{"signalId", 101}, {"flags", 2}, {"nativeState", 3}, {"label1", "Avert"}}),
             object({{"signalId", 102},
                     {"flags", 1 | 8 | 16},
                     {"nativeState", 7},
                     {"label1", "A"},
                     {"label2", "B"}}),
             object({{"signalId", 103}, {"flags", 4}, {"nativeState", 9}})}},
        {"signalTextures",
         QJsonArray{object({{"signalId", 100}, {"flags", 2}, {"path", "/tmp/zorvy/a.png"}}),
                    object({{"signalId", 100}, {"flags", 2}, {"path", "/tmp/zorvy/other.png"}}),
                    object({{"signalId", 101}, {"flags", 1}, {"path", "/tmp/zorvy/b.png"}}),
                    object({{"signalId", 102}, {"flags", 3}, {"path", ""}}),
                    object({{"signalId", 103}, {"flags", 2 | 4}, {"path", "/tmp/zorvy/d.png"}})}},
        {"reservations",
         QJsonArray{object({{"trainId", 5}, {"trackId", 2}, {"begin", 0.0}, {"end", 1.0}}),
                    object({{"trainId", 6}, {"trackId", 3}, {"begin", 0.2}, {"end", 0.4}}),
                    object({{"trainId", 5}, {"trackId", 3}, {"begin", 0.5}, {"end", 0.9}})}},
        {"occupations",
         QJsonArray{object({{"trainId", 5}, {"trackId", 1}, {"begin", 0.3}, {"end", 0.6}}),
                    object({{"trainId", 7}, {"trackId", 4}, {"begin", 0.0}, {"end", 1.0}})}},
    });
}

// 1001 tracks without stations records, trains or signals: 1000 of station 1, one of station 2.
QJsonObject pagingWorld()
{
    QJsonArray tracks;
    for (int i = 1; i <= 1001; ++i)
        tracks.append(object({{"id", i}, {"stationId", i <= 1000 ? 1 : 2}}));
    return object({{"tracks", tracks}});
}

QVariantMap usage(quint64 train, quint64 track, double begin, double end)
{
    return {{"train", id(train)}, {"track", id(track)}, {"begin", begin}, {"end", end}};
}

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void fullConversionOfTheEdgeWorld();
    void trackFilterAndPaging_data();
    void trackFilterAndPaging();
    void selectionPathAndUsage_data();
    void selectionPathAndUsage();
    void noPositionedTrainAndUnavailableReservations();
    void failingCopyReleasesTheSnapshot_data();
    void failingCopyReleasesTheSnapshot();
    void countBeyondOneGibibyteFailsTheCapture();
    void nothingOfAnEarlierCaptureRemains();
    void mediumWorldIsConsistentWithItsRecords();
    void generatedMediumGameIsConsistentWithItsRecords();

private:
    std::unique_ptr<ObservedGame> m_edges;
    std::unique_ptr<ObservedGame> m_paging;
};

void TestConversion::initTestCase()
{
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
    QLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/ZorvyRailsSDK.dll"));
    openSnapshotCount =
        reinterpret_cast<OpenSnapshotCountFn>(library.resolve("ZorvySim_OpenSnapshotCount"));
    QVERIFY2(openSnapshotCount, qPrintable(library.errorString()));

    m_edges = std::make_unique<ObservedGame>();
    START_GAME(*m_edges, edgeWorld());
    m_paging = std::make_unique<ObservedGame>();
    START_GAME(*m_paging, pagingWorld());
}

void TestConversion::cleanup()
{
    // Every capture, successful or not, gives its snapshot back.
    QCOMPARE(openSnapshotCount(), 0u);
}

void TestConversion::fullConversionOfTheEdgeWorld()
{
    const QVariantMap data = m_edges->convert(view(0, 0, 0, 0, 0, 42));

    QStringList keys = DataMap::baseDataMap(QString()).keys();
    keys << "signalStateCount"
         << "signalTextureCount"
         << "positionedCount"
         << "filteredCount"
         << "page"
         << "pages"
         << "viewRevision"
         << "mapSignals"
         << "mapGeometry"
         << "captureMs";
    keys.sort();
    QCOMPARE(data.keys(), keys);

    QCOMPARE(data["status"].toString(),
             QStringLiteral("Connecté · PID %1").arg(m_edges->processId()));
    QCOMPARE(data["live"], QVariant(true));
    QCOMPARE(data["trackCount"], QVariant(5));
    QCOMPARE(data["stationCount"], QVariant(3));
    QCOMPARE(data["trainCount"], QVariant(4));
    QCOMPARE(data["signalCount"], QVariant(5));
    QCOMPARE(data["baliseCount"], QVariant(1));
    QCOMPARE(data["signalStateCount"], QVariant(2));   // 100 and 103: native state valid
    QCOMPARE(data["signalTextureCount"], QVariant(2)); // 100 and 103: a non-empty valid path
    QCOMPARE(data["positionedCount"], QVariant(3));
    QCOMPARE(data["viewRevision"], QVariant::fromValue<quint64>(42));
    QCOMPARE(data["viewRevision"].typeId(), QMetaType::ULongLong);
    QCOMPARE(data["trackCount"].typeId(), QMetaType::Int);
    QCOMPARE(data["pages"].typeId(), QMetaType::Int);
    QCOMPARE(data["pathSize"].typeId(), QMetaType::UInt);
    QCOMPARE(data["mapGeometry"].typeId(), QMetaType::QByteArray);
    QCOMPARE(data["usageStale"], QVariant(false));
    QCOMPARE(data["pathStale"], QVariant(false));
    QCOMPARE(data["captureMs"].typeId(), QMetaType::LongLong);
    QVERIFY(data["captureMs"].toLongLong() >= 0);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"))
                .match(data["updated"].toString())
                .hasMatch());

    const QVariantList stations = data["stations"].toList();
    QCOMPARE(stations.size(), 3);
    QCOMPARE(stations[0].toMap(),
             (QVariantMap{{"id", id(26)}, {"name", QStringLiteral("Gare 000000000000001A")}}));
    QCOMPARE(stations[1].toMap()["name"].toString(), QString(257, QLatin1Char('A')));
    QCOMPARE(stations[2].toMap()["name"].toString(), QStringLiteral("Vélo\uFFFD"));

    const QVariantList trains = data["trains"].toList();
    QCOMPARE(idsOf(trains), (QStringList{id(5), id(6), id(7), QStringLiteral("8000000000000005")}));
    const QVariantMap ic12{{"id", id(5)},       {"name", "IC 12"},    {"speed", 12.5 * 3.6},
                           {"present", true},   {"positioned", true}, {"track", id(1)},
                           {"fraction", 0.457}, {"direction", 1}};
    QCOMPARE(trains[0].toMap(), ic12);
    const QVariantMap fret = trains[1].toMap();
    QCOMPARE(fret["present"], QVariant(true));
    QCOMPARE(fret["positioned"], QVariant(false));
    QCOMPARE(fret["track"].toString(), QString()); // its record names track 2, but it is not placed
    QCOMPARE(fret["direction"], QVariant(-1));
    QCOMPARE(trains[2].toMap()["present"], QVariant(false)); // flags 2 | 8: placed, not present
    QCOMPARE(trains[2].toMap()["track"].toString(), id(4));

    // Scope 0: the tracks holding a positioned train, in library order; track 2 holds only the
    // unpositioned one.
    QCOMPARE(data["filteredCount"], QVariant(2));
    QCOMPARE(data["pages"], QVariant(1));
    QCOMPARE(data["page"], QVariant(0));
    const QVariantList tracks = data["tracks"].toList();
    QCOMPARE(idsOf(tracks), (QStringList{id(1), id(4)}));
    const QVariantMap track1 = tracks[0].toMap();
    QCOMPARE(track1.size(), 6);
    QCOMPARE(track1["stationId"].toString(), id(26));
    QCOMPARE(track1["station"].toString(), QStringLiteral("Gare 000000000000001A"));
    QCOMPARE(track1["limit"].toDouble(), 22.5 * 3.6);
    const QVariantList onTrack1 = track1["trains"].toList();
    QCOMPARE(idsOf(onTrack1), (QStringList{id(5), QStringLiteral("8000000000000005")}));
    QCOMPARE(onTrack1[0].toMap(), ic12);

    const QVariantList signals1 = track1["signals"].toList();
    QCOMPARE(signals1.size(), 2);
    const QVariantMap kindTwo{{"id", id(100)},
                              {"kind", "Inconnu"},
                              {"balise", false},
                              {"marker", false},
                              {"fraction", 0.5},
                              {"direction", 1},
                              {"aspect", "État natif -1"},
                              {"specificState", "Voie libre:VL"},
                              {"stateAvailable", true},
                              {"texturePath", "/tmp/zorvy/a.png"},
                              {"textureUrl", "file:///tmp/zorvy/a.png"}};
    QCOMPARE(signals1[0].toMap(), kindTwo);
    const QVariantMap balise{
        {"id", id(101)},       {"kind", "Balise"},          {"balise", true},
        {"marker", false},     {"fraction", 0.25},          {"direction", -1},
        {"aspect", "Inconnu"}, {"specificState", "Avert:"}, {"stateAvailable", false},
        {"texturePath", ""},   {"textureUrl", ""}};
    QCOMPARE(signals1[1].toMap(), balise);
    const QVariantMap track4 = tracks[1].toMap();
    QCOMPARE(track4["station"].toString(), QString(257, QLatin1Char('A')));
    QCOMPARE(idsOf(track4["trains"].toList()), QStringList{id(7)});
    QCOMPARE(track4["signals"].toList(), QVariantList());

    // Every signal on the whole-network map, including the one on a track without record.
    const QVariantList mapSignals = data["mapSignals"].toList();
    QCOMPARE(mapSignals.size(), 5);
    const auto entry = [](quint64 track, bool balise, bool marker, bool available, int state,
                          const QString &path) {
        return QVariantMap{{"track", id(track)},    {"balise", balise},
                           {"marker", marker},      {"stateAvailable", available},
                           {"textureState", state}, {"texturePath", path}};
    };
    QCOMPARE(mapSignals[0].toMap(), entry(1, false, false, true, -1, "/tmp/zorvy/a.png"));
    QCOMPARE(mapSignals[1].toMap(), entry(1, true, false, false, 0, ""));
    QCOMPARE(mapSignals[2].toMap(), entry(2, false, true, false, 0, ""));
    QCOMPARE(mapSignals[3].toMap(), entry(3, false, false, true, 9, "/tmp/zorvy/d.png"));
    QCOMPARE(mapSignals[4].toMap(), entry(77, false, false, false, 0, ""));

    // The node records byte for byte, the duplicate id kept.
    const QByteArray blob = data["mapGeometry"].toByteArray();
    QCOMPARE(blob.size(), 4 * 40);
    const QVector<SdkTrackNode> nodes = GeometryBlob::toNodes(blob);
    QCOMPARE(nodes[1].id, 2u);
    QCOMPARE(nodes[2].id, 2u);
    QCOMPARE(nodes[2].neighbour1, 3u);
    QCOMPARE(nodes[2].y, -1.5);
    QCOMPARE(nodes[3].x, 20.0);

    // The first positioned train is followed by default.
    QCOMPARE(data["selectedTrainId"].toString(), id(5));
    QCOMPARE(data["selectedTrackId"].toString(), id(1));
    QCOMPARE(data["selectedTrain"].toString(), QStringLiteral("IC 12"));
    QCOMPARE(data["mapPath"].toList(), (QVariantList{id(1), id(2), id(3)}));
    QCOMPARE(data["pathAvailable"], QVariant(true));
    QCOMPARE(data["pathSize"], QVariant::fromValue<quint32>(3));
    QCOMPARE(data["mapReservations"].toList(),
             (QVariantList{usage(5, 2, 0.0, 1.0), usage(5, 3, 0.5, 0.9)}));
    QCOMPARE(data["reservationsAvailable"], QVariant(true));
    QCOMPARE(data["mapOccupations"].toList(),
             (QVariantList{usage(5, 1, 0.3, 0.6), usage(7, 4, 0.0, 1.0)}));
    QCOMPARE(data["occupationsAvailable"], QVariant(true));
}

void TestConversion::trackFilterAndPaging_data()
{
    QTest::addColumn<bool>("paging"); // the 1001-track world, else the edge world
    QTest::addColumn<ViewParameters>("parameters");
    QTest::addColumn<int>("filtered");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("firstAndLast"); // ids of the page's first and last tracks

    const QStringList none;
    QTest::newRow("1001 tracks give 3 pages")
        << true << view(2, 0) << 1001 << 3 << 0 << QStringList{id(1), id(500)};
    QTest::newRow("last page holds one track")
        << true << view(2, 2) << 1001 << 3 << 2 << QStringList{id(1001), id(1001)};
    QTest::newRow("1000 tracks of a station give 2 pages")
        << true << view(2, 0, 1) << 1000 << 2 << 0 << QStringList{id(1), id(500)};
    QTest::newRow("page 7 of 2 shows page 1")
        << true << view(2, 7, 1) << 1000 << 2 << 1 << QStringList{id(501), id(1000)};
    QTest::newRow("a negative page is past the end too")
        << true << view(2, -1, 1) << 1000 << 2 << 1 << QStringList{id(501), id(1000)};
    QTest::newRow("no track: one empty page") << true << view(0, 3) << 0 << 1 << 0 << none;
    QTest::newRow("scope 1 without signals") << true << view(1) << 0 << 1 << 0 << none;
    QTest::newRow("unknown scope shows all")
        << true << view(9, 0, 2) << 1 << 1 << 0 << QStringList{id(1001), id(1001)};

    QTest::newRow("scope 1: tracks carrying a signal")
        << false << view(1) << 3 << 1 << 0 << QStringList{id(1), id(3)};
    QTest::newRow("scope 2 with a station")
        << false << view(2, 0, 26) << 1 << 1 << 0 << QStringList{id(1), id(1)};
    QTest::newRow("scope 2: all") << false << view(2) << 5 << 1 << 0
                                  << QStringList{id(1), QStringLiteral("FFFFFFFFFFFFFFF0")};
    QTest::newRow("scope 3: the one track")
        << false << view(3, 0, 0, 4) << 1 << 1 << 0 << QStringList{id(4), id(4)};
    QTest::newRow("scope 3 with an unknown track")
        << false << view(3, 0, 0, 999) << 0 << 1 << 0 << none;
    QTest::newRow("scope 0 with a station")
        << false << view(0, 0, 27) << 1 << 1 << 0 << QStringList{id(4), id(4)};
}

void TestConversion::trackFilterAndPaging()
{
    QFETCH(bool, paging);
    QFETCH(ViewParameters, parameters);
    QFETCH(int, filtered);
    QFETCH(int, pages);
    QFETCH(int, page);
    QFETCH(QStringList, firstAndLast);

    const QVariantMap data = (paging ? m_paging : m_edges)->convert(parameters);
    QCOMPARE(data["filteredCount"], QVariant(filtered));
    QCOMPARE(data["pages"], QVariant(pages));
    QCOMPARE(data["page"], QVariant(page));
    const QStringList ids = idsOf(data["tracks"].toList());
    const int expectedSize = filtered == 0 ? 0 : qMin(500, filtered - page * 500);
    QCOMPARE(ids.size(), expectedSize);
    if (!firstAndLast.isEmpty())
        QCOMPARE((QStringList{ids.first(), ids.last()}), firstAndLast);
}

void TestConversion::selectionPathAndUsage_data()
{
    QTest::addColumn<quint64>("train");
    QTest::addColumn<QStringList>("selection"); // train id, track id, name
    QTest::addColumn<QVariantList>("path");
    QTest::addColumn<bool>("pathAvailable");
    QTest::addColumn<quint32>("pathSize");
    QTest::addColumn<QVariantList>("reservations");
    QTest::addColumn<bool>("reservationsAvailable");

    QTest::newRow("present but not positioned")
        << quint64(6) << QStringList{id(6), QString(), "Fret 6"} << QVariantList{id(4)} << true
        << 1u << QVariantList{usage(6, 3, 0.2, 0.4)} << true;
    QTest::newRow("train without a path")
        << quint64(7) << QStringList{id(7), id(4), "TER 7"} << QVariantList() << false << 0u
        << QVariantList() << true;
    QTest::newRow("empty path") << quint64(0x8000000000000005ull)
                                << QStringList{"8000000000000005", id(1), "Nuit"} << QVariantList()
                                << true << 0u << QVariantList() << true;
    QTest::newRow("train that has left: no fallback")
        << quint64(999) << QStringList{QString(), QString(), QString()} << QVariantList() << false
        << 0u << QVariantList() << false;
}

void TestConversion::selectionPathAndUsage()
{
    QFETCH(quint64, train);
    QFETCH(QStringList, selection);
    QFETCH(QVariantList, path);
    QFETCH(bool, pathAvailable);
    QFETCH(quint32, pathSize);
    QFETCH(QVariantList, reservations);
    QFETCH(bool, reservationsAvailable);

    const QVariantMap data = m_edges->convert(view(2, 0, 0, 0, train));
    QCOMPARE((QStringList{data["selectedTrainId"].toString(), data["selectedTrackId"].toString(),
                          data["selectedTrain"].toString()}),
             selection);
    QCOMPARE(data["mapPath"].toList(), path);
    QCOMPARE(data["pathAvailable"], QVariant(pathAvailable));
    QCOMPARE(data["pathSize"], QVariant::fromValue(pathSize));
    QCOMPARE(data["mapReservations"].toList(), reservations);
    QCOMPARE(data["reservationsAvailable"], QVariant(reservationsAvailable));
    // Occupations are never filtered by the selection.
    QCOMPARE(data["mapOccupations"].toList().size(), 2);
    QCOMPARE(data["occupationsAvailable"], QVariant(true));
}

void TestConversion::noPositionedTrainAndUnavailableReservations()
{
    ObservedGame game;
    START_GAME(
        game, object({{"trains",
                       QJsonArray{object(
                           {{"id", 6}, {"name", "Fret 6"}, {"flags", 1}, {"path", QJsonArray{}}})}},
                      {"reservations", QJsonValue::Null},
                      {"occupations",
                       QJsonArray{object({{"trainId", 6}, {"trackId", 3}, {"end", 0.5}}),
                                  object({{"trainId", 9}, {"trackId", 4}, {"end", 1.0}})}}}));

    // Nothing positioned: no train is followed, but every occupation is listed.
    QVariantMap data = game.convert(view(0));
    QCOMPARE(data["selectedTrainId"].toString(), QString());
    QCOMPARE(data["selectedTrackId"].toString(), QString());
    QCOMPARE(data["selectedTrain"].toString(), QString());
    QCOMPARE(data["pathAvailable"], QVariant(false));
    QCOMPARE(data["pathSize"].toUInt(), 0u);
    QCOMPARE(data["mapReservations"].toList(), QVariantList());
    QCOMPARE(data["reservationsAvailable"], QVariant(false));
    QCOMPARE(data["mapOccupations"].toList(),
             (QVariantList{usage(6, 3, 0.0, 0.5), usage(9, 4, 0.0, 1.0)}));
    QCOMPARE(data["occupationsAvailable"], QVariant(true));
    QCOMPARE(data["tracks"].toList(), QVariantList());
    QCOMPARE(data["mapGeometry"].toByteArray(), QByteArray());
    QCOMPARE(data["positionedCount"], QVariant(0));

    // A selected train, but the library has no reservations to offer: still a capture.
    data = game.convert(view(0, 0, 0, 0, 6));
    QCOMPARE(data["selectedTrainId"].toString(), id(6));
    QCOMPARE(data["pathAvailable"], QVariant(true));
    QCOMPARE(data["reservationsAvailable"], QVariant(false));
    QCOMPARE(data["mapReservations"].toList(), QVariantList());
    QCOMPARE(data["mapOccupations"].toList().size(), 2);
}

void TestConversion::failingCopyReleasesTheSnapshot_data()
{
    QTest::addColumn<QString>("failingExport");
    QTest::addColumn<int>("status");
    QTest::newRow("signals, half-way through the lists") << "ZorvySdk_CopySignals" << 5;
    QTest::newRow("status 8 is a failure outside usage") << "ZorvySdk_CopyTrackNodes" << 8;
    QTest::newRow("reservations refused with another status than 8")
        << "ZorvySdk_CopyTrackReservations" << 6;
}

void TestConversion::failingCopyReleasesTheSnapshot()
{
    QFETCH(QString, failingExport);
    QFETCH(int, status);
    QJsonObject world = edgeWorld();
    world.insert("faults", object({{"failCopy", failingExport}, {"failStatus", status}}));
    ObservedGame game;
    START_GAME(game, world);

    const QString failure = game.failure(view(0));
    QCOMPARE(failure, QString::fromUtf8(ZorvySdk_StatusString(SdkStatus(status))));
    QVERIFY(!failure.isEmpty());
    QCOMPARE(openSnapshotCount(), 0u);
    // The session stays usable for the next capture's own verdict.
    QCOMPARE(game.failure(view(0)), failure);
}

void TestConversion::countBeyondOneGibibyteFailsTheCapture()
{
    QJsonObject world = edgeWorld();
    world.insert("faults",
                 object({{"inflateCount", object({{"ZorvySdk_CopySignalTextures", 600000}})}}));
    ObservedGame game;
    START_GAME(game, world);

    const QString failure = game.failure(view(0));
    QVERIFY2(failure.startsWith(QStringLiteral("Capture abandonnée")), qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("600000 enregistrements de 1960 octets")),
             qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("1 Gio")), qPrintable(failure));
    QCOMPARE(openSnapshotCount(), 0u);
}

void TestConversion::nothingOfAnEarlierCaptureRemains()
{
    const QJsonArray twoSignals{object({{"id", 100}, {"trackId", 1}, {"kind", 0}}),
                                object({{"id", 101}, {"trackId", 1}, {"kind", 0}})};
    ObservedGame first;
    const QJsonArray oneTrack{object({{"id", 1}})};
    START_GAME(first,
               object({{"tracks", oneTrack},
                       {"signals", twoSignals},
                       {"signalTextures",
                        QJsonArray{object({{"signalId", 100}, {"flags", 2}, {"path", "/a"}}),
                                   object({{"signalId", 101}, {"flags", 2}, {"path", "/b"}})}},
                       {"signalStates", QJsonArray{object({{"signalId", 100}, {"flags", 4}}),
                                                   object({{"signalId", 101}, {"flags", 4}})}}}));
    QCOMPARE(first.convert(view(1))["signalTextureCount"], QVariant(2));

    // The second library announces two records of each but writes one: the other must read as
    // zero bytes, not as what the first capture left in the same memory.
    ObservedGame second;
    START_GAME(second,
               object({{"tracks", oneTrack},
                       {"signals", twoSignals},
                       {"signalTextures",
                        QJsonArray{object({{"signalId", 100}, {"flags", 2}, {"path", "/c"}})}},
                       {"signalStates", QJsonArray{object({{"signalId", 100}, {"flags", 4}})}},
                       {"faults",
                        object({{"inflateCount", object({{"ZorvySdk_CopySignalTextures", 2},
                                                         {"ZorvySdk_CopySignalStates", 2}})}})}}));
    const QVariantMap data = second.convert(view(1));
    QCOMPARE(data["signalTextureCount"], QVariant(1));
    QCOMPARE(data["signalStateCount"], QVariant(1));
    const QVariantList signalMaps = data["tracks"].toList().value(0).toMap()["signals"].toList();
    QCOMPARE(signalMaps.size(), 2);
    QCOMPARE(signalMaps[0].toMap()["texturePath"].toString(), QStringLiteral("/c"));
    QCOMPARE(signalMaps[1].toMap()["texturePath"].toString(), QString());
    QCOMPARE(signalMaps[1].toMap()["aspect"].toString(), QStringLiteral("Inconnu"));
}

void TestConversion::mediumWorldIsConsistentWithItsRecords()
{
    // A generated world with a fixed seed, so a failure can be replayed.
    QRandomGenerator random(20261206);
    const int trackCount = 3000, stationCount = 40, trainCount = 300, signalCount = 2000;
    QJsonArray stations, tracks, nodes, trains, signalArray, states, textures, occupations;
    QHash<quint64, quint64> stationOfTrack;
    for (int i = 1; i <= stationCount; ++i)
        stations.append(
            object({{"id", 1000000 + i}, {"name", i % 7 ? QStringLiteral("Gare %1").arg(i) : ""}}));
    for (int i = 1; i <= trackCount; ++i) {
        // A few tracks name a station that does not exist.
        const quint64 station = random.bounded(stationCount + 5) == 0
                                    ? 0
                                    : 1000000 + random.bounded(1, stationCount + 3);
        stationOfTrack.insert(i, station);
        tracks.append(object({{"id", i}, {"stationId", qint64(station)}, {"speedLimit", 20.0}}));
        nodes.append(object({{"id", i}, {"neighbour1", i + 1}, {"x", double(i)}, {"y", 0.0}}));
    }
    QSet<quint64> tracksWithPositionedTrain, tracksWithSignal;
    int positioned = 0;
    for (int i = 1; i <= trainCount; ++i) {
        const int flags = int(random.bounded(4));
        const quint64 track = random.bounded(1, trackCount + 1);
        if (flags & 2) {
            ++positioned;
            tracksWithPositionedTrain.insert(track);
        }
        trains.append(object({{"id", 5000 + i},
                              {"name", QStringLiteral("Train %1").arg(i)},
                              {"trackId", qint64(track)},
                              {"flags", flags},
                              {"speed", 10.0},
                              {"path", QJsonArray{qint64(track)}}}));
        occupations.append(object({{"trainId", 5000 + i}, {"trackId", qint64(track)}}));
    }
    int balises = 0;
    for (int i = 1; i <= signalCount; ++i) {
        const int kind = int(random.bounded(9));
        balises += kind == 3;
        const quint64 track = random.bounded(1, trackCount + 1);
        tracksWithSignal.insert(track);
        signalArray.append(object({{"id", 70000 + i}, {"trackId", qint64(track)}, {"kind", kind}}));
        states.append(object({{"signalId", 70000 + i}, {"flags", 6}, {"nativeState", i % 11}}));
        if (i % 2)
            textures.append(object({{"signalId", 70000 + i},
                                    {"flags", 2},
                                    {"path", QStringLiteral("/tmp/t/%1.png").arg(i)}}));
    }
    ObservedGame game;
    START_GAME(game, object({{"stations", stations},
                             {"tracks", tracks},
                             {"nodes", nodes},
                             {"trains", trains},
                             {"signals", signalArray},
                             {"signalStates", states},
                             {"signalTextures", textures},
                             {"occupations", occupations}}));

    for (const ViewParameters &parameters :
         {view(0), view(1, 1), view(2, 3), view(2, 0, 1000003), view(1, 0, 1000005)}) {
        const QVariantMap data = game.convert(parameters);
        QCOMPARE(data["trackCount"], QVariant(trackCount));
        QCOMPARE(data["stationCount"], QVariant(stationCount));
        QCOMPARE(data["trainCount"], QVariant(trainCount));
        QCOMPARE(data["signalCount"], QVariant(signalCount));
        QCOMPARE(data["baliseCount"], QVariant(balises));
        QCOMPARE(data["positionedCount"], QVariant(positioned));
        QCOMPARE(data["signalStateCount"], QVariant(signalCount));
        QCOMPARE(data["signalTextureCount"], QVariant((signalCount + 1) / 2));
        QCOMPARE(data["mapSignals"].toList().size(), signalCount);
        QCOMPARE(data["mapGeometry"].toByteArray().size(), trackCount * 40);
        QCOMPARE(data["mapOccupations"].toList().size(), trainCount);

        // Every track on the page passes the filter, and the counts add up.
        int expectedFiltered = 0;
        for (quint64 track = 1; track <= quint64(trackCount); ++track) {
            const bool stationMatches =
                parameters.station == 0 || stationOfTrack.value(track) == parameters.station;
            const bool scopeMatches = parameters.scope == 0
                                          ? tracksWithPositionedTrain.contains(track)
                                      : parameters.scope == 1 ? tracksWithSignal.contains(track)
                                                              : true;
            expectedFiltered += stationMatches && scopeMatches;
        }
        QCOMPARE(data["filteredCount"], QVariant(expectedFiltered));
        const QVariantList pageTracks = data["tracks"].toList();
        QVERIFY(pageTracks.size() <= 500);
        for (const QVariant &entry : pageTracks) {
            const QVariantMap track = entry.toMap();
            const quint64 trackId = DataMap::parseIdText(track["id"].toString());
            QVERIFY(trackId >= 1 && trackId <= quint64(trackCount));
            if (parameters.station != 0)
                QCOMPARE(DataMap::parseIdText(track["stationId"].toString()), parameters.station);
            if (parameters.scope == 0)
                QVERIFY(!track["trains"].toList().isEmpty());
            if (parameters.scope == 1)
                QVERIFY(!track["signals"].toList().isEmpty());
            for (const QVariant &train : track["trains"].toList())
                QCOMPARE(DataMap::parseIdText(train.toMap()["track"].toString()), trackId);
            for (const QVariant &signal : track["signals"].toList())
                QVERIFY(DataMap::parseIdText(signal.toMap()["id"].toString()) > 70000);
        }
        // Every id text reads back as an id of the world.
        for (const QVariant &train : data["trains"].toList()) {
            const quint64 trainId = DataMap::parseIdText(train.toMap()["id"].toString());
            QVERIFY(trainId > 5000 && trainId <= quint64(5000 + trainCount));
        }
        for (const QVariant &station : data["stations"].toList()) {
            const QVariantMap map = station.toMap();
            const quint64 stationId = DataMap::parseIdText(map["id"].toString());
            QVERIFY(stationId > 1000000 && stationId <= quint64(1000000 + stationCount));
            QVERIFY(!map["name"].toString().isEmpty());
        }
        const quint64 selected = DataMap::parseIdText(data["selectedTrainId"].toString());
        QVERIFY(selected > 5000);
        QCOMPARE(data["mapPath"].toList().size(), 1);
        QVERIFY(DataMap::parseIdText(data["mapPath"].toList()[0].toString()) >= 1);
    }
}

void TestConversion::generatedMediumGameIsConsistentWithItsRecords()
{
    // The game's own generator: a moving world, so only what does not move is compared with the
    // records of a separate capture: the network, the stations, the signals and the train list.
    GameProcess game;
    QVERIFY2(game.start({"--size", "medium", "--seed", "3"}), qPrintable(game.errorString()));
    SdkSession session = 0;
    QCOMPARE(ZorvySdk_OpenProcess(1, quint32(game.processId()), &session), 0u);
    const auto closeSession = qScopeGuard([session] { ZorvySdk_CloseSession(session); });

    SdkCopy::RecordBuffer<SdkTrack> trackRecords;
    SdkCopy::RecordBuffer<SdkStation> stationRecords;
    SdkCopy::RecordBuffer<SdkSignal> signalRecords;
    SdkCopy::RecordBuffer<SdkTrain> trainRecords;
    {
        SdkSnapshot snapshot = 0;
        QCOMPARE(ZorvySdk_CaptureSnapshot(session, &snapshot), 0u);
        const auto release = qScopeGuard([snapshot] { ZorvySdk_ReleaseSnapshot(snapshot); });
        SdkCopy::copy(trackRecords, SdkCopy::listOf(snapshot, &ZorvySdk_CopyTracks));
        SdkCopy::copy(stationRecords, SdkCopy::listOf(snapshot, &ZorvySdk_CopyStations));
        SdkCopy::copy(signalRecords, SdkCopy::listOf(snapshot, &ZorvySdk_CopySignals));
        SdkCopy::copy(trainRecords, SdkCopy::listOf(snapshot, &ZorvySdk_CopyTrains));
    }
    QVERIFY(trackRecords.count() > 1000);
    QHash<quint64, quint64> stationOfTrack;
    for (const SdkTrack &track : trackRecords)
        stationOfTrack.insert(track.id, track.stationId);
    QSet<quint64> stationIds, signalIds, trainIds;
    for (const SdkStation &station : stationRecords)
        stationIds.insert(station.id);
    int balises = 0;
    for (const SdkSignal &signal : signalRecords) {
        signalIds.insert(signal.id);
        balises += signal.kind == 3;
    }
    for (const SdkTrain &train : trainRecords)
        trainIds.insert(train.id);
    quint64 someStation = 0;
    for (quint32 i = trackRecords.count() / 2; i < trackRecords.count() && someStation == 0; ++i)
        someStation = trackRecords[i].stationId;
    QVERIFY(someStation != 0);
    int tracksOfThatStation = 0;
    for (const SdkTrack &track : trackRecords)
        tracksOfThatStation += track.stationId == someStation;

    for (const ViewParameters &parameters :
         {view(0), view(1, 1), view(2, 0, someStation), view(3, 0, 0, trackRecords[7].id)}) {
        const QVariantMap data = convertSnapshot(session, quint32(game.processId()), parameters);
        QCOMPARE(data["trackCount"], QVariant(int(trackRecords.count())));
        QCOMPARE(data["stationCount"], QVariant(int(stationRecords.count())));
        QCOMPARE(data["signalCount"], QVariant(int(signalRecords.count())));
        QCOMPARE(data["trainCount"], QVariant(int(trainRecords.count())));
        QCOMPARE(data["baliseCount"], QVariant(balises));
        QCOMPARE(data["mapGeometry"].toByteArray().size() % 40, 0);
        if (parameters.scope == 2)
            QCOMPARE(data["filteredCount"], QVariant(tracksOfThatStation));
        if (parameters.scope == 3)
            QCOMPARE(data["filteredCount"], QVariant(1));
        const int filtered = data["filteredCount"].toInt();
        QCOMPARE(data["pages"], QVariant(qMax(1, (filtered + 499) / 500)));

        for (const QVariant &entry : data["tracks"].toList()) {
            const QVariantMap track = entry.toMap();
            const quint64 trackId = DataMap::parseIdText(track["id"].toString());
            QVERIFY(stationOfTrack.contains(trackId));
            const quint64 stationId = stationOfTrack.value(trackId);
            QCOMPARE(DataMap::parseIdText(track["stationId"].toString()), stationId);
            if (parameters.station != 0)
                QCOMPARE(stationId, parameters.station);
            if (stationId == 0)
                QCOMPARE(track["station"].toString(), QStringLiteral("Hors gare"));
            else if (!stationIds.contains(stationId))
                QCOMPARE(track["station"].toString(), QString());
            if (parameters.scope == 0)
                QVERIFY(!track["trains"].toList().isEmpty());
            if (parameters.scope == 1)
                QVERIFY(!track["signals"].toList().isEmpty());
            for (const QVariant &train : track["trains"].toList()) {
                QCOMPARE(DataMap::parseIdText(train.toMap()["track"].toString()), trackId);
                QVERIFY(trainIds.contains(DataMap::parseIdText(train.toMap()["id"].toString())));
            }
            for (const QVariant &signal : track["signals"].toList())
                QVERIFY(signalIds.contains(DataMap::parseIdText(signal.toMap()["id"].toString())));
        }
        for (const QVariant &train : data["trains"].toList())
            QVERIFY(trainIds.contains(DataMap::parseIdText(train.toMap()["id"].toString())));
        for (const QVariant &station : data["stations"].toList()) {
            QVERIFY(stationIds.contains(DataMap::parseIdText(station.toMap()["id"].toString())));
            QVERIFY(!station.toMap()["name"].toString().isEmpty());
        }
        const QVariantList mapSignals = data["mapSignals"].toList();
        QCOMPARE(mapSignals.size(), int(signalRecords.count()));
        for (quint32 i = 0; i < signalRecords.count(); ++i)
            QCOMPARE(DataMap::parseIdText(mapSignals[int(i)].toMap()["track"].toString()),
                     signalRecords[i].trackId);
        for (const QVariant &occupation : data["mapOccupations"].toList())
            QVERIFY(
                trainIds.contains(DataMap::parseIdText(occupation.toMap()["train"].toString())));
    }
}

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
