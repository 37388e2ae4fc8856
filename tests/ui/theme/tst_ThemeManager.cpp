#include "FontScale.h"
#include "ThemeManager.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

class tst_ThemeManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_initialFont = QApplication::font();
        m_initialPalette = QApplication::palette();
    }
    void cleanup()
    {
        FontScale::setPercent(FontScale::kDefault);
        QApplication::setPalette(m_initialPalette);
        QApplication::setFont(m_initialFont);
    }

    void switchingThemesReplacesEveryRole();
    void setFontScaleRefontsRoleWidgets();

private:
    QFont m_initialFont;
    QPalette m_initialPalette;
};

void tst_ThemeManager::switchingThemesReplacesEveryRole()
{
    ThemeManager manager(nullptr);
    for (const auto& [first, second] :
         {std::pair{ThemeManager::Dark, ThemeManager::Light}, std::pair{ThemeManager::Light, ThemeManager::Dark}}) {
        manager.setTheme(first);
        manager.setTheme(second);
        const QPalette expected =
            second == ThemeManager::Dark ? ThemeManager::darkPalette() : ThemeManager::lightPalette();
        for (int group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                const auto g = QPalette::ColorGroup(group);
                const auto r = QPalette::ColorRole(role);
                QVERIFY2(QApplication::palette().color(g, r) == expected.color(g, r),
                         qPrintable(QStringLiteral("to %1: group %2 role %3").arg(int(second)).arg(group).arg(role)));
            }
        }
    }
}

void tst_ThemeManager::setFontScaleRefontsRoleWidgets()
{
    QFont base(QStringLiteral("Norv Test Sans"));
    base.setPointSize(10);
    QApplication::setFont(base);
    ThemeManager theme(nullptr);
    QWidget window;
    auto* title = new QLabel(QStringLiteral("Title"), &window);
    title->setProperty("norvFontRole", 3);
    auto* plain = new QLabel(QStringLiteral("plain"), &window);
    // A widget outside any window is reached too.
    QLabel loose(QStringLiteral("loose"));
    loose.setProperty("norvFontRole", 6);

    theme.setFontScale(120); // scaled 12
    QCOMPARE(title->font().pointSize(), 13);
    QCOMPARE(loose.font().pointSize(), 26);
    // Widgets without a role inherit the application font (its change event arrives later)...
    QVERIFY(!plain->testAttribute(Qt::WA_SetFont));
    QTRY_COMPARE(plain->font().pointSize(), 12);
    // ...and that late application-font change leaves the role fonts alone.
    QCOMPARE(title->font().pointSize(), 13);

    // Going back starts from the base font captured at first, not from the enlarged application font.
    theme.setFontScale(100);
    QCOMPARE(QApplication::font().pointSize(), 10);
    QCOMPARE(title->font().pointSize(), 11);
}

QTEST_MAIN(tst_ThemeManager)
#include "tst_ThemeManager.moc"
