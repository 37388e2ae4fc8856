#include "DataPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QRegularExpression kUuid(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class tst_DataPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dataDirectory();
    void clientId_data();
    void clientId();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QByteArray m_savedXdg;
};

void tst_DataPaths::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    // The generic data location follows XDG_DATA_HOME here; point it into the temporary directory so
    // no test touches the real one.
    m_savedXdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_tmp->filePath(QStringLiteral("xdg")).toUtf8());
}

void tst_DataPaths::cleanup()
{
    qunsetenv("NOTES_DATA_DIR");
    if (m_savedXdg.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", m_savedXdg);
    m_tmp.reset();
}

void tst_DataPaths::dataDirectory()
{
    // Unset: the default location, created on first use.
    const QString fallback = m_tmp->filePath(QStringLiteral("xdg/Norvane/Notes"));
    QVERIFY(!QFileInfo::exists(fallback));
    QCOMPARE(::dataDirectory(), fallback);
    QVERIFY(QFileInfo(fallback).isDir());

    const QString dir = m_tmp->filePath(QStringLiteral("deep/nested/data \u00e9t\u00e9"));
    qputenv("NOTES_DATA_DIR", dir.toUtf8());
    QCOMPARE(::dataDirectory(), dir);
    QVERIFY(QFileInfo(dir).isDir());
}

void tst_DataPaths::clientId_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // empty: a newly generated id
    QTest::newRow("stored id is trimmed") << true << QByteArray("  stored-client-42 \n") << "stored-client-42";
    QTest::newRow("no file") << false << QByteArray() << "";
}

void tst_DataPaths::clientId()
{
    QFETCH(bool, fileExists);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    qputenv("NOTES_DATA_DIR", m_tmp->path().toUtf8());
    const QString file = m_tmp->filePath(QStringLiteral("client_id"));
    if (fileExists) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    const QString id = ::clientId();
    if (expected.isEmpty()) {
        QVERIFY2(kUuid.match(id).hasMatch(), qPrintable(id));
        QCOMPARE(readFile(file), id.toUtf8());
    } else {
        QCOMPARE(id, expected);
        QCOMPARE(readFile(file), content); // a good file is left as it is
    }
    // Reused on the next call.
    QCOMPARE(::clientId(), id);
}

QTEST_GUILESS_MAIN(tst_DataPaths)
#include "tst_DataPaths.moc"
