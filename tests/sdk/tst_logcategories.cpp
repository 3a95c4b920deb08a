// The program's log categories: their names, silencing and enabling each by Qt's filter rules,
// and the plain text of their lines under Qt's default message format.

#include "LogCategories.h"

#include <QtTest>

namespace {

using CategoryFunction = const QLoggingCategory &(*)();

struct Category
{
    CategoryFunction category;
    const char *name;
};

const Category categories[] = {
    {LogCategory::sdk, "zorvy.sdk"},         {LogCategory::capture, "zorvy.capture"},
    {LogCategory::backend, "zorvy.backend"}, {LogCategory::map, "zorvy.map"},
    {LogCategory::update, "zorvy.update"},   {LogCategory::verify, "zorvy.verify"},
};

QStringList allNames()
{
    QStringList names;
    for (const Category &entry : categories)
        names.append(QString::fromLatin1(entry.name));
    return names;
}

Q_LOGGING_CATEGORY(elsewhere, "elsewhere.area")

// What reached the handler: the category and the message; with the line as the message format
// prints it.
struct Logged
{
    QtMsgType type;
    QString category;
    QString message;
    QString printed;
};
QList<Logged> logged;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    logged.append({type, QString::fromLatin1(context.category), message,
                   qFormatLogMessage(type, context, message)});
}

} // namespace

class TestLogCategories : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        logged.clear();
        m_testHandler = qInstallMessageHandler(captureMessage);
    }
    void cleanup()
    {
        qInstallMessageHandler(m_testHandler);
        QLoggingCategory::setFilterRules(QString());
    }
    void names_data();
    void names();
    void filterRules_data();
    void filterRules();
    void plainText_data();
    void plainText();

private:
    QtMessageHandler m_testHandler = nullptr;
};

void TestLogCategories::names_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    const QStringList names = allNames();
    for (int i = 0; i < names.size(); ++i)
        QTest::newRow(qPrintable(names[i])) << i << names[i];
}

void TestLogCategories::names()
{
    QFETCH(int, index);
    const QLoggingCategory &category = categories[index].category();
    QTEST(QString::fromLatin1(category.categoryName()), "name");
    // Heard unless someone silences it.
    QVERIFY(category.isInfoEnabled());
    QVERIFY(category.isWarningEnabled());
    QVERIFY(category.isCriticalEnabled());
}

void TestLogCategories::filterRules_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("heard"); // the categories whose three lines get through

    const QStringList names = allNames();
    QTest::newRow("no rules") << QString() << names;
    for (const QString &name : names) {
        QStringList others = names;
        others.removeOne(name);
        QTest::addRow("%s silenced", qPrintable(name)) << name + "=false" << others;
    }
    QTest::newRow("all silenced but zorvy.verify")
        << "zorvy.*=false\nzorvy.verify=true" << QStringList{"zorvy.verify"};
    QTest::newRow("another area silenced") << "elsewhere.*=false" << names;
}

void TestLogCategories::filterRules()
{
    QFETCH(QString, rules);
    QFETCH(QStringList, heard);
    QLoggingCategory::setFilterRules(rules);
    for (const Category &entry : categories) {
        qCInfo(entry.category) << "info";
        qCWarning(entry.category) << "warning";
        qCCritical(entry.category) << "critical";
    }
    QStringList got;
    for (const Logged &line : std::as_const(logged))
        got.append(line.category + ' ' + line.message);
    QStringList expected;
    for (const QString &name : heard)
        expected << name + " info" << name + " warning" << name + " critical";
    QCOMPARE(got, expected);
}

void TestLogCategories::plainText_data()
{
    QTest::addColumn<bool>("ours");
    QTest::addColumn<QString>("printed");
    QTest::newRow("zorvy.capture") << true << "SDK snapshot: QVariant(int, 3)";
    QTest::newRow("another area") << false << "elsewhere.area: SDK snapshot: QVariant(int, 3)";
}

// Under Qt's default format our lines print as their bare message; other categories keep their
// name. The handler chain below passes each message to the capture with its text unchanged.
void TestLogCategories::plainText()
{
    QFETCH(bool, ours);
    if (!qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        QSKIP("QT_MESSAGE_PATTERN chooses the format here");
    installPlainLogText(); // in front of the capture
    if (ours)
        qCInfo(LogCategory::capture) << "SDK snapshot:" << QVariant(3);
    else
        qCInfo(elsewhere) << "SDK snapshot:" << QVariant(3);
    QCOMPARE(logged.size(), 1);
    QCOMPARE(logged[0].type, QtInfoMsg);
    QCOMPARE(logged[0].message, QStringLiteral("SDK snapshot: QVariant(int, 3)"));
    QTEST(logged[0].printed, "printed");
}

QTEST_GUILESS_MAIN(TestLogCategories)
#include "tst_logcategories.moc"
