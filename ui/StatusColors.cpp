#include "ui/StatusColors.h"

#include <QPalette>

#include <cmath>

namespace {

const QColor successHue(34, 177, 76);
const QColor failureHue(Qt::red);
const QColor warningHue(255, 176, 0);
constexpr double readableContrast = 4.5;

double linear(double channel)
{
    return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &color)
{
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

// Walks the hue's lightness away from the background's until it reads.
// Above a luminance of 0.179 black contrasts more with the background than
// white does.
QColor readableShade(const QColor &hue, const QColor &background)
{
    const QColor hsl = hue.toHsl();
    const int step = luminance(background) > 0.179 ? -1 : 1;
    QColor shade = hue;
    for (int lightness = hsl.lightness() + step;
         contrastRatio(shade, background) < readableContrast && lightness >= 0 && lightness <= 255; lightness += step)
        shade = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness).toRgb();
    return shade;
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// The log keeps its background when disabled (Updater::createLogView), so
// one shade serves both.
QColor statusColor(bool success, const QPalette &logPalette)
{
    return readableShade(success ? successHue : failureHue, logPalette.color(QPalette::Active, QPalette::Base));
}

QColor warningColor(const QPalette &logPalette)
{
    return readableShade(warningHue, logPalette.color(QPalette::Active, QPalette::Base));
}
