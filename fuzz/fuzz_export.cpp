// Feeds arbitrary bytes to the exporters as a note body. Whatever the body holds, every format must
// come back without crashing, Markdown must end in exactly one line break, HTML must be one whole
// document, and a file name made from the text must be usable.
//
//   QT_QPA_PLATFORM=offscreen fuzz_export CORPUS

#include "DeltaFormat.h"
#include "Export.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QRegularExpression>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& output)
{
    std::fprintf(stderr, "fuzz_export: %s\n--- output\n%s\n", what, output.toUtf8().constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_export";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives for the whole process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString body = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QJsonDocument parsed = QJsonDocument::fromJson(body.toUtf8());
    const bool isDelta = !body.isEmpty() && parsed.isArray();

    const QString markdown = convertBody(body, ExportFormat::Markdown);
    const QString html = convertBody(body, ExportFormat::Html);
    const QString pdfHtml = convertBody(body, ExportFormat::Pdf);
    const QString plain = convertBody(body, ExportFormat::PlainText);

    if (!isDelta) {
        if (markdown != body || html != body || plain != body)
            fail("a body that is not Delta must come back unchanged", markdown);
    } else {
        if (!markdown.isEmpty() && (!markdown.endsWith(u'\n') || markdown.endsWith(QLatin1String("\n\n")) ||
                                    markdown.endsWith(QLatin1String(" \n"))))
            fail("markdown must end in exactly one line break", markdown);
        if (!html.startsWith(QLatin1String("<html><body>\n")) || !html.endsWith(QLatin1String("</body></html>")))
            fail("html is not one document", html);
        if (plain != deltaToPlainText(parseDelta(parsed.array())))
            fail("plain text differs from the text inserts", plain);
    }
    if (pdfHtml != html)
        fail("pdf is not printed from the html", pdfHtml);

    const QString name = sanitizeFileName(body);
    if (name.isEmpty() || name.size() > 50 || name != name.trimmed() ||
        name.contains(QRegularExpression(QStringLiteral("[<>:\"/\\\\|?*]"))) || name.back().isHighSurrogate())
        fail("unusable file name", name);
    return 0;
}
