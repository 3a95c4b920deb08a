// The program's log categories: their names (what QT_LOGGING_RULES match), heard unless silenced,
// and their lines printed without the category name under Qt's default format while other
// categories keep theirs.

#include "LogCategories.h"

#include <QtTest>

namespace {

using CategoryFunction = const QLoggingCategory &(*)();

Q_LOGGING_CATEGORY(elsewhere, "elsewhere.area")

QStringList printed; // the lines as the message format prints them

void capturePrinted(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    printed.append(qFormatLogMessage(type, context, message));
}

} // namespace

Q_DECLARE_METATYPE(CategoryFunction)

class TestLogCategories : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plainLines_data();
    void plainLines();
};

void TestLogCategories::plainLines_data()
{
    QTest::addColumn<CategoryFunction>("category");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");
    const QString ours = "info SDK snapshot: QVariant(int, 3)";
    QTest::newRow("sdk") << CategoryFunction(LogCategory::sdk) << "zorvy.sdk" << ours;
    QTest::newRow("capture") << CategoryFunction(LogCategory::capture) << "zorvy.capture" << ours;
    QTest::newRow("backend") << CategoryFunction(LogCategory::backend) << "zorvy.backend" << ours;
    QTest::newRow("map") << CategoryFunction(LogCategory::map) << "zorvy.map" << ours;
    QTest::newRow("update") << CategoryFunction(LogCategory::update) << "zorvy.update" << ours;
    QTest::newRow("verify") << CategoryFunction(LogCategory::verify) << "zorvy.verify" << ours;
    QTest::newRow("another area") << CategoryFunction(elsewhere) << "elsewhere.area"
                                  << "info elsewhere.area: SDK snapshot: QVariant(int, 3)";
}

void TestLogCategories::plainLines()
{
    QFETCH(CategoryFunction, category);
    QFETCH(QString, name);
    QFETCH(QString, line);
    if (!qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        QSKIP("QT_MESSAGE_PATTERN chooses the format here");
    QCOMPARE(QString::fromLatin1(category().categoryName()), name);
    QVERIFY(category().isInfoEnabled() && category().isWarningEnabled() &&
            category().isCriticalEnabled());

    // Qt's default pattern, with the type in front so that a changed type shows.
    qSetMessagePattern("%{type} %{if-category}%{category}: %{endif}%{message}");
    printed.clear();
    const QtMessageHandler before = qInstallMessageHandler(capturePrinted);
    installPlainLogText();
    installPlainLogText(); // a second call must not make the handler its own successor
    qCInfo(category) << "SDK snapshot:" << QVariant(3);
    qInstallMessageHandler(before);
    qSetMessagePattern(QString());
    QCOMPARE(printed, QStringList{line});
}

QTEST_GUILESS_MAIN(TestLogCategories)
#include "tst_logcategories.moc"
