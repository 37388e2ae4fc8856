#include "TextFormats.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

bool isDarkPalette()
{
    static const int darkWindowLightness = QColor(0x1E, 0x1E, 0x1E).lightness();
    return darkWindowLightness >= QGuiApplication::palette().color(QPalette::Window).lightness();
}
