#include "LitColour.h"

#include <array>
#include <cmath>

namespace LitColour {

namespace {
constexpr int sectors = 12;
constexpr int minimumAlpha = 128;
constexpr int minimumValue = 110;      // of 255
constexpr int minimumSaturation = 110; // of 255
// Fewer voting pixels than this share of the image is no clear lit colour (a stray pixel).
constexpr double minimumShare = 0.004;
} // namespace

QColor of(const QImage &image)
{
    if (image.isNull())
        return {};
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    struct Sector
    {
        double weight = 0, red = 0, green = 0, blue = 0;
        int count = 0;
    };
    std::array<Sector, sectors> votes{};
    for (int y = 0; y < pixels.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            const QRgb pixel = line[x];
            if (qAlpha(pixel) < minimumAlpha)
                continue;
            const QColor colour = QColor::fromRgb(pixel);
            const int hue = colour.hsvHue();
            if (hue < 0 || colour.hsvSaturation() < minimumSaturation ||
                colour.value() < minimumValue)
                continue;
            // Sector 0 is centred on pure red, so that reds on both sides of 0° vote together.
            Sector &sector = votes[((hue + 15) / 30) % sectors];
            const double weight = colour.hsvSaturationF() * colour.valueF();
            sector.weight += weight;
            sector.red += weight * qRed(pixel);
            sector.green += weight * qGreen(pixel);
            sector.blue += weight * qBlue(pixel);
            ++sector.count;
        }
    }
    const Sector *best = nullptr;
    for (const Sector &sector : votes) {
        if (sector.count > 0 && (!best || sector.weight > best->weight))
            best = &sector;
    }
    const double pixelCount = double(pixels.width()) * pixels.height();
    if (!best || best->count < std::max(1.0, minimumShare * pixelCount))
        return {};
    return QColor(int(std::lround(best->red / best->weight)),
                  int(std::lround(best->green / best->weight)),
                  int(std::lround(best->blue / best->weight)));
}

bool isDanger(const QColor &lit)
{
    if (!lit.isValid())
        return false;
    const int hue = lit.hsvHue();
    return hue >= 0 && (hue <= 25 || hue >= 335) && lit.hsvSaturation() >= 128;
}

QColor neutral()
{
    return QColor(128, 132, 138);
}

} // namespace LitColour
