// Feeds arbitrary bytes to the Delta readers and the document round trip. A body that has been
// opened and saved once must come back unchanged from every later open and save; anything else
// would make notes drift each time they are looked at.
//
//   QT_QPA_PLATFORM=offscreen fuzz_delta -dict=fuzz/fuzz_delta.dict CORPUS tests-and-fixture-seeds

#include "DeltaDocument.h"
#include "DeltaFormat.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
QGuiApplication* g_app = nullptr;

[[noreturn]] void fail(const char* what, const QString& a, const QString& b)
{
    std::fprintf(stderr, "fuzz_delta: %s\n--- first\n%s\n--- second\n%s\n", what, a.toUtf8().constData(),
                 b.toUtf8().constData());
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_delta";
    static char* argv[] = {name, nullptr};
    g_app = new QGuiApplication(argc, argv); // lives for the whole process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    const QList<DeltaOp> ops = parseDelta(input);
    (void)deltaToPlainText(ops);
    (void)bodyPlainText(input);
    (void)isBodyBlank(input);

    DeltaDocument doc;
    doc.loadJson(input);
    const QString first = doc.toJson();
    const QJsonDocument parsed = QJsonDocument::fromJson(first.toUtf8());
    if (!parsed.isArray() || parsed.array().isEmpty())
        fail("saved body is not a non-empty array", first, QString());
    // toJson prints the text itself; it must match what the JSON library prints for toDelta.
    const QString reference = QString::fromUtf8(QJsonDocument(doc.toDelta()).toJson(QJsonDocument::Compact));
    if (reference != first)
        fail("toJson differs from toDelta", first, reference);

    doc.loadJson(first);
    const QString second = doc.toJson();
    if (second != first)
        fail("second round trip differs", first, second);
    return 0;
}
