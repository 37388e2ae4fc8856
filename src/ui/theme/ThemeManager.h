#pragma once

#include <QFont>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <optional>

class PreferencesRepository;
class QWidget;

// Owns the application's look: the light or dark palette (or the system's choice), the global font
// scale, and the fonts of widgets that declare a font role through dynamic properties:
//   "norvFontRole" (int), "norvFontItalic" (bool, optional), "norvFontWeight" (int QFont weight, optional).
class ThemeManager : public QObject
{
    Q_OBJECT
public:
    // Unscoped so that both ThemeManager::Dark and ThemeManager::Theme::Dark read naturally.
    enum Theme
    {
        System = 0,
        Light = 1,
        Dark = 2,
    };
    Q_ENUM(Theme)

    // "system", "light", "dark".
    static QString themeToString(Theme theme);
    // Exact, case-sensitive match of the three texts; anything else is System.
    static Theme themeFromString(const QString& text);

    static QPalette lightPalette();
    static QPalette darkPalette();

    // The preferences repository may be null; nothing is persisted then.
    explicit ThemeManager(PreferencesRepository* preferences, QObject* parent = nullptr);

    void setTheme(Theme theme);
    void setThemeFromString(const QString& text);
    Theme theme() const { return m_mode; }

    // Clamps to 70..160, persists "fontScale", re-applies the theme and re-fonts every role widget.
    void setFontScale(int percent);
    int fontScale() const;

    QFont fontForRole(int role) const;
    QFont bodyFont() const { return fontForRole(0); }

    // Sets the font of one widget from its role properties; false when it carries no valid role.
    bool applyFontRole(QWidget* widget) const;

signals:
    void themeChanged(ThemeManager::Theme theme);
    void fontScaleChanged(int percent);

private:
    const QFont& baseFont() const;
    int basePointSize() const;
    int scaledPointSize() const;

    QPointer<PreferencesRepository> m_preferences;
    Theme m_mode = System;
    // The application font as it was when first needed; every scaled font starts from it.
    mutable std::optional<QFont> m_baseFont;
};
