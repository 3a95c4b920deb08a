// The program's log categories are heard unless silenced, and their lines print without the
// category name under Qt's default format while other categories keep theirs.

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
    void plainLines_data()
    {
        QTest::addColumn<CategoryFunction>("category");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line");
        QTest::newRow("ours") << CategoryFunction(LogCategory::capture) << "zorvy.capture"
                              << "info SDK snapshot: QVariant(int, 3)";
        QTest::newRow("another area") << CategoryFunction(elsewhere) << "elsewhere.area"
                                      << "info elsewhere.area: SDK snapshot: QVariant(int, 3)";
    }

    void plainLines()
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
};

QTEST_GUILESS_MAIN(TestLogCategories)
#include "tst_logcategories.moc"
