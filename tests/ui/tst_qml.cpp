// Runs the tst_*.qml files of this folder against the module's own documents, with the stand-in
// map item of imports/.
#include "MapPreferences.h"

#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

void qml_register_types_ZorvyTco();

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        // The window's tests never read or write the user's own settings.
        MapPreferences::setPersistent(false);
        // Keeps the module's registration (which runs when the module is imported) in the link.
        volatile auto registration = &qml_register_types_ZorvyTco;
        Q_UNUSED(registration)
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine->addImportPath(QStringLiteral(ZORVY_STANDIN_IMPORTS));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_qml, Setup)

#include "tst_qml.moc"
