#include "ThemeManager.h"

#include "FontScale.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleOption>
#include <QStyleHints>
#include <QWidget>
#include <algorithm>

namespace {

const char* const kFontRoleProperty = "norvFontRole";
const char* const kFontItalicProperty = "norvFontItalic";
const char* const kFontWeightProperty = "norvFontWeight";

struct RoleColour
{
    QPalette::ColorRole role;
    const char* colour;
};

struct PaletteColours
{
    RoleColour roles[15];
    const char* disabledText;
};

constexpr PaletteColours kDark{{
                                {QPalette::Window, "#1E1E1E"},
                                {QPalette::WindowText, "#E0E0E0"},
                                {QPalette::Base, "#252525"},
                                {QPalette::AlternateBase, "#2A2A2A"},
                                {QPalette::Text, "#E0E0E0"},
                                {QPalette::Button, "#252525"},
                                {QPalette::ButtonText, "#E0E0E0"},
                                {QPalette::Highlight, "#42A5F5"},
                                {QPalette::HighlightedText, "#1E1E1E"},
                                {QPalette::ToolTipBase, "#252525"},
                                {QPalette::ToolTipText, "#E0E0E0"},
                                {QPalette::PlaceholderText, "#9E9E9E"},
                                {QPalette::Mid, "#3A3A3A"},
                                {QPalette::Light, "#3A3A3A"},
                                {QPalette::Dark, "#0D0D0D"},
                            },
                            "#555555"};

constexpr PaletteColours kLight{{
                                 {QPalette::Window, "#FAFAFA"},
                                 {QPalette::WindowText, "#212121"},
                                 {QPalette::Base, "#FFFFFF"},
                                 {QPalette::AlternateBase, "#F5F7FA"},
                                 {QPalette::Text, "#212121"},
                                 {QPalette::Button, "#FAFAFA"},
                                 {QPalette::ButtonText, "#212121"},
                                 {QPalette::Highlight, "#1565C0"},
                                 {QPalette::HighlightedText, "#FFFFFF"},
                                 {QPalette::ToolTipBase, "#FFFFFF"},
                                 {QPalette::ToolTipText, "#212121"},
                                 {QPalette::PlaceholderText, "#78909C"},
                                 {QPalette::Mid, "#E0E0E0"},
                                 {QPalette::Light, "#FFFFFF"},
                                 {QPalette::Dark, "#B0BEC5"},
                             },
                             "#9E9E9E"};

QPalette buildPalette(const PaletteColours& colours)
{
    // Start from the style's own palette rather than the installed one, so roles we do not set
    // never carry over from the previously applied theme.
    QPalette palette = QApplication::style() ? QApplication::style()->standardPalette() : QPalette();
    for (const RoleColour& rc : colours.roles)
        palette.setColor(rc.role, QColor(QLatin1String(rc.colour)));
    const QColor disabled(QLatin1String(colours.disabledText));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
}

// The platform style draws check box and radio outlines a shade darker than the window, which
// vanishes on the dark palette; this draws a visible rim over them there and changes nothing else.
class ThemeStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        const bool indicator = element == PE_IndicatorCheckBox || element == PE_IndicatorRadioButton ||
                               element == PE_IndicatorItemViewItemCheck;
        const QPalette& palette = option->palette;
        if (!indicator || palette.color(QPalette::Window).lightness() >= 128)
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QColor rim = palette.color(QPalette::PlaceholderText);
        if (!(option->state & State_Enabled))
            rim.setAlpha(110);
        painter->setPen(QPen(rim, 1));
        painter->setBrush(Qt::NoBrush);
        const QRectF box = QRectF(option->rect).adjusted(1.5, 1.5, -1.5, -1.5);
        if (element == PE_IndicatorRadioButton)
            painter->drawEllipse(box);
        else
            painter->drawRoundedRect(box, 2, 2);
        painter->restore();
    }

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        // The generic desktop puts tick and cross pictures on OK and Cancel; our flat, text-first
        // look has none anywhere else.
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void installThemeStyle()
{
    if (!dynamic_cast<ThemeStyle*>(QApplication::style()))
        QApplication::setStyle(new ThemeStyle(QApplication::style()->name()));
}

// The palette the platform handed us before any theme was installed. Qt before 6.5 has no
// colour-scheme query, so a light-on-dark platform palette is what "system dark" means there.
const QPalette& platformPalette()
{
    static const QPalette palette = QGuiApplication::palette();
    return palette;
}

bool systemPrefersDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QGuiApplication::styleHints()->colorScheme() == Qt::ColorScheme::Dark;
#else
    const QPalette& p = platformPalette();
    return p.color(QPalette::WindowText).lightness() > p.color(QPalette::Window).lightness();
#endif
}

} // namespace

QString ThemeManager::themeToString(Theme theme)
{
    switch (theme) {
    case Light:
        return QStringLiteral("light");
    case Dark:
        return QStringLiteral("dark");
    case System:
        break;
    }
    return QStringLiteral("system");
}

ThemeManager::Theme ThemeManager::themeFromString(const QString& text)
{
    if (text == QLatin1String("light"))
        return Light;
    if (text == QLatin1String("dark"))
        return Dark;
    return System;
}

QPalette ThemeManager::lightPalette()
{
    return buildPalette(kLight);
}

QPalette ThemeManager::darkPalette()
{
    return buildPalette(kDark);
}

ThemeManager::ThemeManager(PreferencesRepository* preferences, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
{
    // Remember the platform's palette before any theme replaces it.
    platformPalette();
}

void ThemeManager::setTheme(Theme theme)
{
    m_mode = theme;
    const bool dark = theme == Dark || (theme == System && systemPrefersDark());
    // Installing a style resets the palette, so the style goes first.
    installThemeStyle();
    QApplication::setPalette(dark ? darkPalette() : lightPalette());

    QFont appFont = baseFont();
    appFont.setPointSize(scaledPointSize());
    QApplication::setFont(appFont);

    if (m_preferences)
        m_preferences->setValue(QLatin1String(PrefKey::ThemeMode), themeToString(theme));
    emit themeChanged(theme);
}

void ThemeManager::setThemeFromString(const QString& text)
{
    setTheme(themeFromString(text));
}

void ThemeManager::setFontScale(int percent)
{
    const int clamped = FontScale::setPercent(percent);
    if (m_preferences)
        m_preferences->setValue(QLatin1String(PrefKey::FontScale), QString::number(clamped));
    setTheme(m_mode);

    const QList<QWidget*> widgets = QApplication::allWidgets();
    for (QWidget* widget : widgets)
        applyFontRole(widget);
    emit fontScaleChanged(clamped);
}

int ThemeManager::fontScale() const
{
    return FontScale::percent();
}

bool ThemeManager::applyFontRole(QWidget* widget) const
{
    if (!widget)
        return false;
    const QVariant role = widget->property(kFontRoleProperty);
    if (!role.isValid())
        return false;
    QFont font = fontForRole(role.toInt());
    const QVariant italic = widget->property(kFontItalicProperty);
    if (italic.isValid() && italic.toBool())
        font.setItalic(true);
    const QVariant weight = widget->property(kFontWeightProperty);
    if (weight.isValid())
        font.setWeight(static_cast<QFont::Weight>(std::clamp(weight.toInt(), 1, 1000)));
    widget->setFont(font);
    return true;
}

QFont ThemeManager::fontForRole(int role) const
{
    const int scaled = scaledPointSize();
    QFont font = baseFont();
    switch (role) {
    case 1:
        font.setPointSize(scaled);
        font.setWeight(QFont::Medium);
        break;
    case 2:
        font.setPointSize(std::max(scaled - 1, 7));
        break;
    case 3:
        font.setPointSize(scaled + 1);
        font.setWeight(QFont::Medium);
        break;
    case 4:
        font.setPointSize(scaled + 4);
        font.setWeight(QFont::DemiBold);
        break;
    case 5:
        font.setPointSize(scaled + 8);
        font.setWeight(QFont::DemiBold);
        break;
    case 6:
        font.setPointSize(scaled + 14);
        font.setWeight(QFont::Bold);
        break;
    case 7:
        font.setFamily(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
        font.setPointSize(scaled);
        break;
    default:
        font.setPointSize(scaled);
        break;
    }
    return font;
}

const QFont& ThemeManager::baseFont() const
{
    if (!m_baseFont)
        m_baseFont = QApplication::font();
    return *m_baseFont;
}

int ThemeManager::basePointSize() const
{
    const int size = baseFont().pointSize();
    return size > 0 ? size : 10;
}

int ThemeManager::scaledPointSize() const
{
    return FontScale::scaled(basePointSize());
}
