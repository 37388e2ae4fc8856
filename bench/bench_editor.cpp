// Typing in a long note: the time from a key event reaching the editor to the document change being
// processed (change reporting, word count, format state and the toolbar that follows it), the same with
// the repaint that shows it, and the cost of the autosave's conversion back to Delta. The note has
// 5,000 lines of mixed formatting generated from a fixed seed.

#include "EditorToolbar.h"
#include "NoteEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QStringList kWords = {"note",   "meeting", "project", "release", "budget", "draft",  "review",   "search",
                            "sync",   "table",   "garden",  "recipe",  "travel", "invoice", "design", "backlog",
                            "cursor", "offline", "summary", "library", "export", "archive", "client", "deadline"};

QString longNote(int lines, quint32 seed)
{
    QRandomGenerator random(seed);
    const auto words = [&](int n) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << kWords.at(int(random.bounded(qsizetype(kWords.size()))));
        return out.join(QLatin1Char(' '));
    };
    QJsonArray ops;
    for (int i = 0; i < lines; ++i) {
        const int kind = int(random.bounded(100));
        QJsonObject line;
        if (kind < 50) {
            ops.append(QJsonObject{{"insert", words(6) + QLatin1Char(' ')}});
            ops.append(QJsonObject{{"attributes", QJsonObject{{"bold", true}}}, {"insert", words(2)}});
            ops.append(QJsonObject{{"insert", QLatin1Char(' ') + words(4)}});
        } else if (kind < 65) {
            ops.append(QJsonObject{{"insert", words(5)}});
            line.insert("list", "bullet");
        } else if (kind < 75) {
            ops.append(QJsonObject{{"insert", words(4)}});
            line.insert("list", random.bounded(2) ? "checked" : "unchecked");
        } else if (kind < 80) {
            ops.append(QJsonObject{{"insert", words(4)}});
            line.insert("list", "ordered");
        } else if (kind < 90) {
            ops.append(QJsonObject{{"insert", QStringLiteral("  %1(%2);").arg(words(1), words(1))}});
            line.insert("code-block", true);
        } else if (kind < 95) {
            ops.append(QJsonObject{{"insert", words(3)}});
            line.insert("header", 1 + int(random.bounded(3)));
        } else {
            ops.append(QJsonObject{{"insert", words(8)}});
            line.insert("blockquote", true);
        }
        QJsonObject end{{"insert", "\n"}};
        if (!line.isEmpty())
            end.insert("attributes", line);
        ops.append(end);
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

struct Figures
{
    std::vector<double> ms;

    double percentile(double p)
    {
        std::sort(ms.begin(), ms.end());
        return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, size_t(p * double(ms.size())))];
    }
};

void report(const char* name, Figures figures)
{
    const size_t n = figures.ms.size();
    const double median = figures.percentile(0.5);
    const double p95 = figures.percentile(0.95);
    std::printf("%-34s %8.3f  %zu   (p95 %.3f)\n", name, median, n, p95);
}

Figures measure(int runs, const std::function<void()>& step)
{
    Figures figures;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        step();
        figures.ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return figures;
}

void sendKey(QWidget* target, int key, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* editor = new NoteEditor(nullptr, &window);
    auto* toolbar = new EditorToolbar(editor, &window);
    layout->addWidget(toolbar);
    layout->addWidget(editor, 1);
    window.resize(1000, 800);
    window.show();
    QApplication::processEvents();

    const QString body = longNote(5000, 20240311);
    QElapsedTimer loadTimer;
    loadTimer.start();
    editor->loadNote(QStringLiteral("bench"), body);
    const double loadMs = double(loadTimer.nsecsElapsed()) / 1e6;
    // Lay the whole document out once, as scrolling through it would.
    editor->moveCursor(QTextCursor::End);
    QApplication::processEvents();

    // The cursor in the middle of a plain line, mid-word, like someone editing an old paragraph.
    QTextBlock middle = editor->document()->findBlockByNumber(2500);
    while (middle.isValid() && middle.blockFormat().hasProperty(QTextFormat::UserProperty + 2))
        middle = middle.next();
    QTextCursor cursor(middle);
    cursor.movePosition(QTextCursor::NextWord);
    editor->setTextCursor(cursor);
    editor->ensureCursorVisible();
    QApplication::processEvents();

    std::printf("%-34s %8s  %s\n", "name", "median_ms", "n");
    std::printf("%-34s %8.3f  %d\n", "load_5000_lines", loadMs, 1);

    int letter = 0;
    report("keystroke_to_change", measure(300, [&] {
               const QChar ch = QChar(u'a' + (letter++ % 26));
               sendKey(editor, Qt::Key_A + (ch.unicode() - u'a'), QString(ch));
           }));
    report("keystroke_to_change_backspace", measure(300, [&] { sendKey(editor, Qt::Key_Backspace, QString()); }));
    report("keystroke_to_painted", measure(200, [&] {
               sendKey(editor, Qt::Key_X, QStringLiteral("x"));
               editor->viewport()->repaint();
           }));
    report("enter_to_painted", measure(50, [&] {
               sendKey(editor, Qt::Key_Return, QString());
               editor->viewport()->repaint();
           }));
    report("word_count", measure(50, [&] { editor->wordCount(); }));
    report("autosave_bodyJson", measure(20, [&] { editor->bodyJson(); }));
    // Processing the events queued meanwhile (the autosave timer included) leaves nothing behind.
    editor->autosaveTimer()->stop();
    return 0;
}
