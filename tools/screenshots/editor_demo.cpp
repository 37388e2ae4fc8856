// Shows the note editor with its bars and a note holding every kind of block, then writes PNGs of it:
//   editor_demo <out-dir> <light|dark>
// writes <out-dir>/editor-<theme>.png, editor-<theme>-checked.png (after clicking the first check box)
// and lightbox-<theme>.png (after double-clicking the picture). Run it under Xvfb through
// editor-shots.sh so the real fonts and the xcb platform are used.

#include "AttachmentRepository.h"
#include "Database.h"
#include "DeltaFormat.h"
#include "EditorToolbar.h"
#include "FindBar.h"
#include "ImageLightbox.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "NoteRepository.h"
#include "Records.h"
#include "ThemeManager.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>

namespace {

void settle(int ms = 300)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

void registerFonts()
{
    QString family;
    for (const char* path : {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf", ":/fonts/IBMPlexMono-Medium.ttf",
                             ":/fonts/MaterialIcons-Regular.otf"}) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(path));
        if (id >= 0 && family.isEmpty())
            family = QFontDatabase::applicationFontFamilies(id).value(0);
    }
    if (!family.isEmpty()) {
        QFont font = QApplication::font();
        font.setFamily(family);
        QApplication::setFont(font);
    }
}

QByteArray picture()
{
    QImage image(480, 220, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 480, 220);
    gradient.setColorAt(0, QColor(0x15, 0x65, 0xC0));
    gradient.setColorAt(1, QColor(0x26, 0xA6, 0x9A));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    QFont font = QApplication::font();
    font.setPixelSize(40);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Norvane Notes"));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QJsonObject text(const QString& t, const QJsonObject& attributes = {})
{
    QJsonObject op{{"insert", t}};
    if (!attributes.isEmpty())
        op.insert("attributes", attributes);
    return op;
}

QJsonObject line(const QJsonObject& attributes = {})
{
    return text(QStringLiteral("\n"), attributes);
}

QString demoBody(const QString& imageId, const QString& fileId)
{
    const QString table = QString::fromUtf8(QJsonDocument(QJsonObject{
        {"cells", QJsonArray{QJsonArray{QJsonArray{text("Task")}, QJsonArray{text("Owner")}, QJsonArray{text("Due")}},
                             QJsonArray{QJsonArray{text("Draft")}, QJsonArray{text("Mia")}, QJsonArray{text("Mon")}},
                             QJsonArray{QJsonArray{text("Review")}, QJsonArray{text("Ola")}, QJsonArray{text("Fri")}}}},
        {"hasHeader", true}}).toJson(QJsonDocument::Compact));
    QJsonArray ops{
        text("Release planning"), line({{"header", 1}}),
        text("Everything the editor can show, in one note."), line(),
        text("Mixed "), text("bold", {{"bold", true}}), text(", "), text("italic", {{"italic", true}}), text(", "),
        text("underlined", {{"underline", true}}), text(", "), text("struck", {{"strike", true}}), text(", "),
        text("inline code", {{"code", true}}), text(" and a "), text("link", {{"link", "https://example.org/docs"}}),
        text("."), line(),
        text("Goals"), line({{"header", 2}}),
        text("Ship the editor"), line({{"list", "bullet"}}),
        text("Keep typing instant"), line({{"list", "bullet"}}),
        text("Write the notes"), line({{"list", "ordered"}}),
        text("Tag the build"), line({{"list", "ordered"}}),
        text("Check lists toggle on click"), line({{"list", "unchecked"}}),
        text("Screenshots taken"), line({{"list", "checked"}}),
        text("Code and quotes"), line({{"header", 3}}),
        text("for (const Note& note : notes)"), line({{"code-block", true}}),
        text("    save(note);"), line({{"code-block", true}}),
        text("Capture as fast as paper. Find it faster."), line({{"blockquote", true}}),
        QJsonObject{{"insert", QJsonObject{{"table", table}}}}, line(),
        QJsonObject{{"insert", QJsonObject{{"divider", "hr"}}}}, line(),
        QJsonObject{{"insert", QJsonObject{{"norvane-notes-attachment", attachmentUrl(imageId)}}}}, line(),
        text("Attached: "), QJsonObject{{"insert", QJsonObject{{"norvane-notes-attachment", attachmentUrl(fileId)}}}},
        line(),
        text("Centred closing line"), line({{"align", "center"}}),
    };
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

QString addAttachment(AttachmentRepository& repo, const QString& noteId, const QString& name, const QString& mime,
                      const QByteArray& bytes)
{
    Attachment a;
    a.id = newId();
    a.noteId = noteId;
    a.filename = name;
    a.mimeType = mime;
    a.sizeBytes = bytes.size();
    a.createdAt = QDateTime::currentDateTimeUtc();
    repo.saveFile(a.id, bytes);
    repo.insert(a);
    return a.id;
}

void click(QWidget* target, const QPoint& at, QEvent::Type type)
{
    QMouseEvent press(type == QEvent::MouseButtonDblClick ? type : QEvent::MouseButtonPress, QPointF(at),
                      QPointF(target->mapToGlobal(at)), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: editor_demo <out-dir> <light|dark>\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString theme = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    // The fonts live in a static library's resources.
    Q_INIT_RESOURCE(norv_resources);
    registerFonts();

    QTemporaryDir data;
    Database db;
    if (!data.isValid() || !db.open(data.filePath(QStringLiteral("demo.db"))) || !db.migrate())
        return 1;
    NoteRepository notes(&db);
    AttachmentRepository attachments(&db, nullptr, data.filePath(QStringLiteral("attachments")));
    ThemeManager themes(nullptr);
    themes.setThemeFromString(theme);

    Note note;
    note.id = newId();
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    note.body = QStringLiteral("[]");
    notes.insert(note);
    const QString imageId = addAttachment(attachments, note.id, QStringLiteral("banner.png"), QStringLiteral("image/png"),
                                          picture());
    const QString fileId = addAttachment(attachments, note.id, QStringLiteral("quarterly-report.pdf"),
                                         QStringLiteral("application/pdf"), QByteArray(48 * 1024, 'p'));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Norvane Notes — editor"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new NoteHeaderBar(&window);
    auto* editor = new NoteEditor(&attachments, &window);
    editor->setThemeManager(&themes);
    auto* toolbar = new EditorToolbar(editor, &window);
    auto* find = new FindBar(editor, &window);
    layout->addWidget(header);
    layout->addWidget(toolbar);
    layout->addWidget(editor, 1);
    layout->addWidget(find);
    window.resize(1000, 1300);
    window.show();

    header->setNote(note);
    header->setNotebookName(QStringLiteral("Work"));
    header->setUpdatedText(QStringLiteral("Updated 5 min ago"));
    editor->loadNote(note.id, demoBody(imageId, fileId));
    find->showBar();
    find->field()->setText(QStringLiteral("the"));
    editor->setFocus();
    // The cursor in the table, so the toolbar shows "Insert Table" disabled.
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next()) {
        if (QTextCursor(b).currentTable() && b.text() == QLatin1String("Mia")) {
            editor->setTextCursor(QTextCursor(b));
            break;
        }
    }
    settle(600);

    const QString prefix = outDir + QStringLiteral("/editor-") + theme;
    window.grab().save(prefix + QStringLiteral(".png"));

    // Click the first check box and show the result.
    QTextBlock item;
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next()) {
        if (b.text() == QLatin1String("Check lists toggle on click"))
            item = b;
    }
    const QRectF rect = editor->document()->documentLayout()->blockBoundingRect(item);
    QPoint marker(-1, -1);
    for (int x = 0; x < int(rect.left()) + 60 && marker.x() < 0; ++x) {
        if (editor->document()->documentLayout()->blockWithMarkerAt(QPointF(x, rect.center().y())) == item)
            marker = QPoint(x, int(rect.center().y()));
    }
    if (marker.x() >= 0) {
        click(editor->viewport(), marker - QPoint(0, editor->verticalScrollBar()->value()), QEvent::MouseButtonPress);
        settle(200);
        window.grab().save(prefix + QStringLiteral("-checked.png"));
    }
    std::printf("check box at %d,%d; body after click has checked item: %s\n", marker.x(), marker.y(),
                editor->bodyJson().contains(QStringLiteral(R"({"insert":"Check lists toggle on click"},)"
                                                          R"({"attributes":{"list":"checked"})"))
                    ? "yes"
                    : "no");

    // Double-click the picture: the lightbox opens.
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next()) {
        if (b.text() == QString(QChar::ObjectReplacementCharacter) && b.begin() != b.end() &&
            b.begin().fragment().charFormat().objectType() == QTextFormat::UserObject + 1) {
            QTextCursor before(b);
            QTextCursor after(b);
            after.movePosition(QTextCursor::EndOfBlock);
            editor->setTextCursor(before);
            editor->ensureCursorVisible();
            settle(100);
            const QRect r = editor->cursorRect(before);
            const QRect r2 = editor->cursorRect(after);
            click(editor->viewport(), QPoint((r.left() + r2.left()) / 2, r.center().y()), QEvent::MouseButtonDblClick);
            break;
        }
    }
    settle(500);
    if (auto* box = editor->findChild<ImageLightbox*>()) {
        box->grab().save(outDir + QStringLiteral("/lightbox-") + theme + QStringLiteral(".png"));
        box->close();
    }
    settle(100);
    // Kept open a while on request, so a capture of the whole screen can be taken from outside.
    if (const int hold = qEnvironmentVariableIntValue("NORV_DEMO_HOLD_MS"); hold > 0) {
        editor->verticalScrollBar()->setValue(0);
        settle(hold);
    }
    return 0;
}
