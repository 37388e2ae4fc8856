// Feeds arbitrary bytes to the HTML and Markdown readers used for paste and import. They must
// always produce a Delta body whose last line is ended, and the hand-written removal of script,
// style and navigation elements must agree with the expression it stands for.
//
//   QT_QPA_PLATFORM=offscreen fuzz_html CORPUS

#include "MarkdownHtml.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& a, const QString& b = {})
{
    std::fprintf(stderr, "fuzz_html: %s\n--- first\n%s\n--- second\n%s\n", what, a.toUtf8().constData(),
                 b.toUtf8().constData());
    std::abort();
}

void checkBody(const char* reader, const QJsonArray& delta)
{
    const QJsonObject last = delta.isEmpty() ? QJsonObject() : delta.last().toObject();
    if (last.value(QStringLiteral("insert")).toString() != QLatin1String("\n"))
        fail(reader, QString::fromUtf8(QJsonDocument(delta).toJson()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_html";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives for the whole process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    checkBody("htmlToDelta must end with a line ending", htmlToDelta(text));
    checkBody("markdownToDelta must end with a line ending", markdownToDelta(text));
    (void)looksLikeHtml(text);
    (void)looksLikeMarkdown(text);
    const QJsonDocument simple = QJsonDocument::fromJson(simpleMarkdownToDelta(text).toUtf8());
    if (!simple.isArray())
        fail("simpleMarkdownToDelta must give an array", text);

    // The expression needs quadratic time on some inputs; compare on short ones only.
    if (text.size() <= 4096) {
        static const QRegularExpression reference(
            QStringLiteral("<(script|style|nav|header|footer|aside|iframe|noscript)[^>]*>.*?</\\1>"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        QString expected = text;
        expected.remove(reference);
        const QString actual = stripNonContentHtml(text);
        if (actual != expected)
            fail("stripNonContentHtml differs from the expression", actual, expected);
    }
    return 0;
}
