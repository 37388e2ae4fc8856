// Export and to-do extraction times: Markdown and HTML export of a long note (5,000 lines with
// every kind of line, inline formatting and a few tables), and to-do extraction over every body of
// a 10,000-note library, which the To-Dos screen runs on each change of any note.

#include "Export.h"
#include "LibraryGenerator.h"
#include "Todos.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>
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

QString compact(const QJsonValue& value)
{
    return QString::fromUtf8(value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

// A long body: paragraphs with bold, italic, code and link runs, headings, all list kinds, code
// lines, quotes, dividers and a table every 1,000 lines.
QString longBody(quint32 seed, int lines)
{
    QRandomGenerator random(seed);
    auto words = [&](int n) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << kWords.at(int(random.bounded(int(kWords.size()))));
        return out.join(u' ');
    };
    QJsonArray ops;
    for (int i = 0; i < lines; ++i) {
        if (i % 1000 == 500) {
            QJsonArray rows;
            for (int r = 0; r < 6; ++r) {
                QJsonArray row;
                for (int c = 0; c < 4; ++c)
                    row.append(QJsonArray{QJsonObject{{"insert", words(2)}}});
                rows.append(row);
            }
            ops.append(QJsonObject{
                {"insert", QJsonObject{{"table", compact(QJsonObject{{"cells", rows}, {"hasHeader", true}})}}}});
            ops.append(QJsonObject{{"insert", "\n"}});
            continue;
        }
        if (i % 400 == 200) {
            ops.append(QJsonObject{{"insert", QJsonObject{{"divider", "hr"}}}});
            ops.append(QJsonObject{{"insert", "\n"}});
            continue;
        }
        const int kind = int(random.bounded(100));
        QJsonObject line;
        if (kind < 50) {
            ops.append(QJsonObject{{"insert", words(6) + ' '}});
            ops.append(QJsonObject{{"attributes", QJsonObject{{"bold", true}}}, {"insert", words(2)}});
            ops.append(QJsonObject{{"insert", ' ' + words(4) + ' '}});
            ops.append(QJsonObject{{"attributes", QJsonObject{{"italic", true}, {"link", "https://example.com/x"}}},
                                   {"insert", words(1)}});
        } else {
            ops.append(QJsonObject{{"insert", words(5)}});
            if (kind < 58)
                line.insert("header", 1 + int(random.bounded(3)));
            else if (kind < 70)
                line.insert("list", "bullet");
            else if (kind < 78)
                line.insert("list", "ordered");
            else if (kind < 88)
                line.insert("list", random.bounded(2) ? "checked" : "unchecked");
            else if (kind < 95)
                line.insert("code-block", true);
            else
                line.insert("blockquote", true);
        }
        ops.append(line.isEmpty() ? QJsonObject{{"insert", "\n"}}
                                  : QJsonObject{{"attributes", line}, {"insert", "\n"}});
    }
    return compact(ops);
}

double medianMs(int runs, const std::function<void()>& fn)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        fn();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const QString body = longBody(20240611, 5000);
    std::printf("# long note: %lld bytes of Delta\n", qint64(body.toUtf8().size()));
    qsizetype sink = 0;
    const int exportRuns = 21;
    std::printf("%-32s %9.3f  %d\n", "export_markdown_5000_lines",
                medianMs(exportRuns, [&] { sink += convertBody(body, ExportFormat::Markdown).size(); }), exportRuns);
    std::printf("%-32s %9.3f  %d\n", "export_html_5000_lines",
                medianMs(exportRuns, [&] { sink += convertBody(body, ExportFormat::Html).size(); }), exportRuns);

    LibraryGenerator generator(20240611);
    QStringList bodies;
    bodies.reserve(10000);
    for (int i = 0; i < 10000; ++i)
        bodies.append(generator.makeBody(false));
    const QDateTime updated = QDateTime::currentDateTimeUtc();
    qsizetype tasks = 0;
    const int todoRuns = 7;
    const double todoMs = medianMs(todoRuns, [&] {
        tasks = 0;
        for (qsizetype i = 0; i < bodies.size(); ++i)
            tasks += extractTodos(QString::number(i), bodies.at(i), updated).size();
    });
    std::printf("# library: %lld bodies, %lld tasks\n", qint64(bodies.size()), qint64(tasks));
    std::printf("%-32s %9.3f  %d\n", "extract_todos_10000_notes", todoMs, todoRuns);
    return sink > 0 ? 0 : 1;
}
