// Load and save times of note bodies: a long note (5,000 lines, about 300 KB of Delta with every
// kind of formatting, lists, code and a few tables) and a typical 2 KB note. The editor saves on
// every pause in typing, so both directions must stay well inside a frame budget or two.

#include "DeltaDocument.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QStringList kWords = {
    "note",    "meeting", "project", "release", "budget", "draft",   "review",   "search", "sync",    "table",
    "garden",  "recipe",  "travel",  "invoice", "design", "backlog", "estimate", "cursor", "offline", "summary",
    "quarter", "library", "export",  "archive", "client", "server",  "deadline", "idea",   "list",    "window",
};

class BodyGenerator
{
public:
    explicit BodyGenerator(quint32 seed)
        : m_random(seed)
    {}

    QString body(int lines)
    {
        QJsonArray ops;
        for (int i = 0; i < lines; ++i) {
            if (i % 1000 == 500) {
                addTable(ops);
                continue;
            }
            const int kind = int(m_random.bounded(100));
            QJsonObject line;
            if (kind < 55) {
                addRuns(ops, 1 + int(m_random.bounded(2)));
            } else if (kind < 67) {
                addRuns(ops, 1);
                line.insert("list", "bullet");
            } else if (kind < 75) {
                addRuns(ops, 1);
                line.insert("list", m_random.bounded(2) ? "checked" : "unchecked");
            } else if (kind < 80) {
                addRuns(ops, 1);
                line.insert("list", "ordered");
            } else if (kind < 90) {
                ops.append(QJsonObject{{"insert", QStringLiteral("  %1(%2);").arg(word(), word())}});
                line.insert("code-block", true);
            } else if (kind < 94) {
                ops.append(QJsonObject{{"insert", words(2)}});
                line.insert("header", 1 + int(m_random.bounded(3)));
            } else if (kind < 95) {
                addRuns(ops, 2);
                line.insert("blockquote", true);
            } else {
                // Blank line between sections.
            }
            QJsonObject end{{"insert", "\n"}};
            if (!line.isEmpty())
                end.insert("attributes", line);
            ops.append(end);
        }
        return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
    }

private:
    QString word() { return kWords.at(int(m_random.bounded(kWords.size()))); }

    QString words(int n)
    {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << word();
        return out.join(QLatin1Char(' '));
    }

    void addRuns(QJsonArray& ops, int runs)
    {
        for (int r = 0; r < runs; ++r) {
            QJsonObject op{{"insert", words(1 + int(m_random.bounded(2))) + QLatin1Char(' ')}};
            const int style = int(m_random.bounded(20));
            if (style < 2)
                op.insert("attributes", QJsonObject{{"bold", true}});
            else if (style < 4)
                op.insert("attributes", QJsonObject{{"italic", true}});
            else if (style < 6)
                op.insert("attributes", QJsonObject{{"code", true}});
            else if (style == 6)
                op.insert("attributes", QJsonObject{{"link", QStringLiteral("https://example.com/%1").arg(word())}});
            ops.append(op);
        }
    }

    void addTable(QJsonArray& ops)
    {
        QJsonArray rows;
        for (int r = 0; r < 5; ++r) {
            QJsonArray row;
            for (int c = 0; c < 4; ++c)
                row.append(QJsonArray{QJsonObject{{"insert", words(2)}}});
            rows.append(row);
        }
        const QJsonObject table{{"cells", rows}, {"hasHeader", true}};
        ops.append(QJsonObject{
            {"insert",
             QJsonObject{{"table", QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))}}}});
        ops.append(QJsonObject{{"insert", "\n"}});
    }

    QRandomGenerator m_random;
};

double medianMs(int runs, const std::function<void()>& fn)
{
    std::vector<double> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        fn();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report(const char* name, int runs, const std::function<void()>& fn)
{
    std::printf("%-28s %9.3f  %d\n", name, medianMs(runs, fn), runs);
    std::fflush(stdout);
}

void benchBody(const char* label, const QString& body, int runs)
{
    DeltaDocument doc;
    doc.loadJson(body); // warm-up: fonts, format caches
    const QString saved = doc.toJson();
    std::printf("# %s: %lld bytes in, %lld bytes saved, %d blocks\n", label, qint64(body.toUtf8().size()),
                qint64(saved.toUtf8().size()), doc.textDocument()->blockCount());

    report(qPrintable(QStringLiteral("%1_loadJson").arg(label)), runs, [&] { doc.loadJson(body); });
    report(qPrintable(QStringLiteral("%1_toJson").arg(label)), runs, [&] { (void)doc.toJson(); });
    report(qPrintable(QStringLiteral("%1_load_fresh").arg(label)), runs, [&] {
        DeltaDocument fresh;
        fresh.loadJson(body);
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    BodyGenerator generator(20240611);
    const QString large = generator.body(5000);
    // A typical note: a heading, a few paragraphs and a short list, about 2 KB.
    const QString typical = generator.body(24);

    benchBody("note_5000_lines", large, 15);
    benchBody("note_2kb", typical, 300);
    return 0;
}
