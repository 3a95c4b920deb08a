#include "SignalTextureSet.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace {

// The lamps of a signal head, top to bottom, for one native state.
struct Appearance
{
    QColor lamps[3];
};

Appearance appearanceOf(int state)
{
    const QColor off(40, 40, 40);
    const QColor green(40, 200, 80), yellow(250, 200, 30), red(230, 40, 40), white(235, 235, 235),
        violet(150, 70, 200);
    switch (state) {
    case 0: // voie libre
        return {{off, off, green}};
    case 1: // avertissement
        return {{off, yellow, off}};
    case 2: // sémaphore
        return {{red, off, off}};
    case 3: // carré
        return {{red, off, red}};
    case 4: // ralentissement
        return {{yellow, off, yellow}};
    case 5: // rappel de ralentissement
        return {{yellow, yellow, off}};
    case 6: // balise inactive
        return {{off, off, off}};
    case 7: // balise active
        return {{white, white, white}};
    case 8: // repère
        return {{violet, off, violet}};
    case 9: // feu clignotant allumé
        return {{off, yellow, off}};
    default: // feu clignotant éteint
        return {{off, off, off}};
    }
}

QImage drawHead(int state)
{
    QImage image(32, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(200, 200, 200), 1.5));
    painter.setBrush(QColor(20, 20, 24));
    painter.drawRoundedRect(QRectF(3, 2, 26, 60), 6, 6);
    const Appearance appearance = appearanceOf(state);
    painter.setPen(Qt::NoPen);
    for (int lamp = 0; lamp < 3; ++lamp) {
        painter.setBrush(appearance.lamps[lamp]);
        painter.drawEllipse(QPointF(16, 13 + lamp * 19), 7, 7);
    }
    return image;
}

} // namespace

bool SignalTextureSet::write(const QString &dir, bool withBrokenFile, QString *error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create the texture folder %1").arg(dir);
        return false;
    }
    m_statePaths.clear();
    for (int state = 0; state < stateCount; ++state) {
        const QString path =
            QDir(dir).absoluteFilePath(QStringLiteral("signal-state-%1.png").arg(state));
        if (!drawHead(state).save(path, "PNG")) {
            *error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
        m_statePaths.append(path);
    }
    m_brokenPath.clear();
    if (withBrokenFile) {
        m_brokenPath = QDir(dir).absoluteFilePath(QStringLiteral("signal-broken.png"));
        QFile broken(m_brokenPath);
        if (!broken.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            broken.write("this file is not an image\n") < 0) {
            *error = QStringLiteral("cannot write %1").arg(m_brokenPath);
            return false;
        }
    }
    return true;
}
