#include "Database.h"
#include "FontScale.h"
#include "PreferencesRepository.h"
#include "ThemeManager.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

class tst_ThemeManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fontScaleIsClampedAndStored_data();
    void fontScaleIsClampedAndStored();
    void roleFonts_data();
    void roleFonts();
    void baseFontCapturedOnce();
    void pixelSizedBaseFontCountsAsTenPoints();
    void themeFromString_data();
    void themeFromString();
    void switchingThemesReplacesEveryRole_data();
    void switchingThemesReplacesEveryRole();
    void setFontScaleRefontsRoleWidgets();
    void setFontScaleKeepsThemeAndSignals();

private:
    QFont makeBaseFont(int pointSize, QFont::Weight weight = QFont::Normal) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<PreferencesRepository> m_prefs;
    QFont m_initialFont;
    QPalette m_initialPalette;
};

void tst_ThemeManager::initTestCase()
{
    m_initialFont = QApplication::font();
    m_initialPalette = QApplication::palette();
}

void tst_ThemeManager::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = std::make_unique<Database>();
    QVERIFY(m_db->open(m_dir->filePath(QStringLiteral("prefs.db"))));
    QVERIFY(m_db->migrate());
    m_prefs = std::make_unique<PreferencesRepository>(m_db.get());
}

void tst_ThemeManager::cleanup()
{
    m_prefs.reset();
    m_db.reset();
    m_dir.reset();
    FontScale::setPercent(FontScale::kDefault);
    QApplication::setPalette(m_initialPalette);
    QApplication::setFont(m_initialFont);
}

QFont tst_ThemeManager::makeBaseFont(int pointSize, QFont::Weight weight) const
{
    QFont font(QStringLiteral("Norv Test Sans"));
    font.setPointSize(pointSize);
    font.setWeight(weight);
    return font;
}

void tst_ThemeManager::fontScaleIsClampedAndStored_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");

    QTest::newRow("below range") << 50 << 70;
    QTest::newRow("above range") << 500 << 160;
    QTest::newRow("lower bound") << 70 << 70;
    QTest::newRow("upper bound") << 160 << 160;
}

void tst_ThemeManager::fontScaleIsClampedAndStored()
{
    QFETCH(int, requested);
    QFETCH(int, expected);
    QApplication::setFont(makeBaseFont(10));

    ThemeManager theme(m_prefs.get());
    QSignalSpy scaleSpy(&theme, &ThemeManager::fontScaleChanged);
    theme.setFontScale(requested);

    QCOMPARE(theme.fontScale(), expected);
    QCOMPARE(FontScale::percent(), expected);
    QCOMPARE(m_prefs->stringValue(QStringLiteral("fontScale"), QString()), QString::number(expected));
    QCOMPARE(scaleSpy.count(), 1);
    QCOMPARE(scaleSpy.at(0).at(0).toInt(), expected);
    // The application font follows the scale (base 10 pt).
    QCOMPARE(QApplication::font().pointSize(), expected * 10 / 100);
}

void tst_ThemeManager::roleFonts_data()
{
    QTest::addColumn<int>("basePt");
    QTest::addColumn<int>("baseWeight");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("expectedPt");
    QTest::addColumn<int>("expectedWeight");

    // Base 9 pt at 160 %: scaled 14.
    QTest::newRow("9pt@160 role 7") << 9 << 400 << 160 << 7 << 14 << 400;
    QTest::newRow("9pt@160 unknown role") << 9 << 400 << 160 << 42 << 14 << 400;
    // Base 8 pt at 70 %: scaled 5, role 2 floors at 7.
    QTest::newRow("8pt@70 role 2 floor") << 8 << 400 << 70 << 2 << 7 << 400;
    // Integer division, never below 1.
    QTest::newRow("11pt@130 role 0") << 11 << 400 << 130 << 0 << 14 << 400;
    QTest::newRow("1pt@70 role 0") << 1 << 400 << 70 << 0 << 1 << 400;
    // Roles without their own weight keep the base weight.
    QTest::newRow("light base role 0") << 10 << 300 << 100 << 0 << 10 << 300;
    QTest::newRow("light base role 1") << 10 << 300 << 100 << 1 << 10 << 500;
}

void tst_ThemeManager::roleFonts()
{
    QFETCH(int, basePt);
    QFETCH(int, baseWeight);
    QFETCH(int, scale);
    QFETCH(int, role);
    QFETCH(int, expectedPt);
    QFETCH(int, expectedWeight);
    const QFont base = makeBaseFont(basePt, static_cast<QFont::Weight>(baseWeight));
    QApplication::setFont(base);

    ThemeManager theme(nullptr);
    theme.setFontScale(scale);
    const QFont font = theme.fontForRole(role);

    QCOMPARE(font.pointSize(), expectedPt);
    QCOMPARE(static_cast<int>(font.weight()), expectedWeight);
    QVERIFY(!font.italic());
    if (role == 7) {
        QCOMPARE(font.family(), QStringLiteral("monospace"));
        QCOMPARE(font.styleHint(), QFont::Monospace);
    } else {
        QCOMPARE(font.family(), base.family());
    }
    QCOMPARE(theme.bodyFont().pointSize(), theme.fontForRole(0).pointSize());
}

void tst_ThemeManager::baseFontCapturedOnce()
{
    QApplication::setFont(makeBaseFont(9));
    ThemeManager theme(nullptr);
    theme.setFontScale(160);
    QCOMPARE(QApplication::font().pointSize(), 14);

    // Going back must start from the captured 9 pt, not from the enlarged application font.
    theme.setFontScale(100);
    QCOMPARE(theme.fontForRole(0).pointSize(), 9);
    QCOMPARE(QApplication::font().pointSize(), 9);
    QCOMPARE(QApplication::font().family(), QStringLiteral("Norv Test Sans"));
}

void tst_ThemeManager::pixelSizedBaseFontCountsAsTenPoints()
{
    QFont pixelFont(QStringLiteral("Norv Test Sans"));
    pixelFont.setPixelSize(20);
    QApplication::setFont(pixelFont);

    ThemeManager theme(nullptr);
    QCOMPARE(theme.fontForRole(0).pointSize(), 10);
    QCOMPARE(theme.fontForRole(6).pointSize(), 24);
    theme.setFontScale(150);
    QCOMPARE(theme.fontForRole(0).pointSize(), 15);
    QCOMPARE(QApplication::font().pointSize(), 15);
}

void tst_ThemeManager::themeFromString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("stored");

    QTest::newRow("dark") << "dark" << int(ThemeManager::Dark) << "dark";
    QTest::newRow("system") << "system" << int(ThemeManager::System) << "system";
    QTest::newRow("wrong case Dark") << "Dark" << int(ThemeManager::System) << "system";
    QTest::newRow("padded") << " dark" << int(ThemeManager::System) << "system";
}

void tst_ThemeManager::themeFromString()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(QString, stored);
    // Start from another mode so that the stored value has to change.
    m_prefs->setValue(QStringLiteral("theme_mode"), QStringLiteral("none yet"));

    ThemeManager theme(m_prefs.get());
    QSignalSpy themeSpy(&theme, &ThemeManager::themeChanged);
    theme.setThemeFromString(text);

    QCOMPARE(int(theme.theme()), expected);
    QCOMPARE(m_prefs->stringValue(QStringLiteral("theme_mode"), QString()), stored);
    QCOMPARE(themeSpy.count(), 1);
    QCOMPARE(themeSpy.at(0).at(0).value<ThemeManager::Theme>(), ThemeManager::Theme(expected));
    QCOMPARE(ThemeManager::themeToString(ThemeManager::themeFromString(text)), stored);
}

void tst_ThemeManager::switchingThemesReplacesEveryRole_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::newRow("dark then light") << int(ThemeManager::Dark) << int(ThemeManager::Light);
    QTest::newRow("light then dark") << int(ThemeManager::Light) << int(ThemeManager::Dark);
}

void tst_ThemeManager::switchingThemesReplacesEveryRole()
{
    QFETCH(int, first);
    QFETCH(int, second);
    ThemeManager manager(nullptr);
    manager.setTheme(ThemeManager::Theme(first));
    manager.setTheme(ThemeManager::Theme(second));

    const QPalette expected =
        ThemeManager::Theme(second) == ThemeManager::Dark ? ThemeManager::darkPalette() : ThemeManager::lightPalette();
    const QPalette installed = QApplication::palette();
    for (int group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = QPalette::ColorGroup(group);
            const auto r = QPalette::ColorRole(role);
            if (installed.color(g, r) != expected.color(g, r))
                QFAIL(qPrintable(QStringLiteral("group %1 role %2: %3 instead of %4")
                                     .arg(group)
                                     .arg(role)
                                     .arg(installed.color(g, r).name(), expected.color(g, r).name())));
        }
    }
}

void tst_ThemeManager::setFontScaleRefontsRoleWidgets()
{
    QApplication::setFont(makeBaseFont(10));
    ThemeManager theme(nullptr);

    QWidget window;
    auto* title = new QLabel(QStringLiteral("Title"), &window);
    title->setProperty("norvFontRole", 3);
    title->setProperty("norvFontItalic", true);
    title->setProperty("norvFontWeight", 800);
    auto* code = new QLabel(QStringLiteral("code"), &window);
    code->setProperty("norvFontRole", 7);
    auto* caption = new QLabel(QStringLiteral("caption"), &window);
    caption->setProperty("norvFontRole", 2);
    caption->setProperty("norvFontItalic", false);
    auto* plain = new QLabel(QStringLiteral("plain"), &window);
    // A widget outside any window is reached too.
    QLabel loose(QStringLiteral("loose"));
    loose.setProperty("norvFontRole", 6);

    theme.setFontScale(120); // scaled 12

    QCOMPARE(title->font().pointSize(), 13);
    QVERIFY(title->font().italic());
    QCOMPARE(title->font().weight(), QFont::ExtraBold);
    QCOMPARE(code->font().pointSize(), 12);
    QCOMPARE(code->font().family(), QStringLiteral("monospace"));
    QVERIFY(!code->font().italic());
    QCOMPARE(caption->font().pointSize(), 11);
    QVERIFY(!caption->font().italic());
    QCOMPARE(caption->font().weight(), QFont::Normal);
    QCOMPARE(loose.font().pointSize(), 26);
    QCOMPARE(loose.font().weight(), QFont::Bold);
    // Widgets without a role just inherit the application font (its change event arrives later).
    QVERIFY(!plain->testAttribute(Qt::WA_SetFont));
    QTRY_COMPARE(plain->font().pointSize(), 12);
    // ...and that late application-font change leaves the role fonts alone.
    QCOMPARE(title->font().pointSize(), 13);

    theme.setFontScale(80); // scaled 8
    QCOMPARE(title->font().pointSize(), 9);
    QVERIFY(title->font().italic());
    QCOMPARE(caption->font().pointSize(), 7);
    QTRY_COMPARE(plain->font().pointSize(), 8);
}

void tst_ThemeManager::setFontScaleKeepsThemeAndSignals()
{
    ThemeManager theme(m_prefs.get());
    theme.setTheme(ThemeManager::Dark);
    QSignalSpy themeSpy(&theme, &ThemeManager::themeChanged);
    QSignalSpy scaleSpy(&theme, &ThemeManager::fontScaleChanged);

    theme.setFontScale(500);

    QCOMPARE(scaleSpy.count(), 1);
    QCOMPARE(themeSpy.count(), 1);
    QCOMPARE(themeSpy.at(0).at(0).value<ThemeManager::Theme>(), ThemeManager::Dark);
    QCOMPARE(theme.theme(), ThemeManager::Dark);
    QCOMPARE(QApplication::palette().color(QPalette::Window).name(), QStringLiteral("#1e1e1e"));
}

QTEST_MAIN(tst_ThemeManager)
#include "tst_ThemeManager.moc"
