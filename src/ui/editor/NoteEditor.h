#pragma once

#include <QJsonArray>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTextCursor>
#include <QTextEdit>
#include <functional>
#include <optional>

class AttachmentRenderer;
class AttachmentRepository;
class DeltaDocument;
class QMenu;
class QMimeData;
class QTimer;
class ThemeManager;
struct Attachment;

// What the cursor is in, for the toolbar and the menus.
struct EditorFormatState
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool code = false;
    int heading = 0;
    QString listType; // "bullet", "ordered", "unchecked", "checked" or empty
    bool codeBlock = false;
    bool blockquote = false;
    bool inTable = false;
    Qt::Alignment alignment = Qt::AlignLeft;

    bool operator==(const EditorFormatState&) const = default;
};

// The rich-text editor of one note. The body lives in a DeltaDocument; edits are reported once a
// second of quiet has passed (noteModified) and the owner saves. The editor itself only writes
// attachment files.
class NoteEditor : public QTextEdit
{
    Q_OBJECT

public:
    static constexpr int kAutosaveMs = 1000;
    // After a failed save the text stays unsaved and the save is tried again this much later.
    static constexpr int kSaveRetryMs = 2000;
    // Private clipboard format: the Delta of a selection, so copy and paste between our editors keeps
    // check lists, code blocks and attachments, which the HTML round trip would lose.
    static constexpr char kDeltaMimeType[] = "application/x-norvane-delta";

    // The repository may be null: attachments then show as plain chips and cannot be opened.
    explicit NoteEditor(AttachmentRepository* attachments = nullptr, QWidget* parent = nullptr);
    ~NoteEditor() override;

    // Follows the theme: colours and the font scale are baked into the document when a body is
    // loaded, so a change reloads the note (after handing pending edits to the owner).
    void setThemeManager(ThemeManager* themes);

    // An unforced load of the note that is already shown, unchanged and saved, does nothing; a
    // reload of the same note keeps the cursor and the scroll position.
    void loadNote(const QString& noteId, const QString& body, bool force = false);
    // No note: read-only with the "create one" placeholder.
    void clear();

    QString bodyJson() const;
    QString noteId() const { return m_noteId; }
    bool isSaved() const { return m_saved; }
    // The owner could not store the text: it stays unsaved (never reported saved), saveFailed is
    // emitted, and noteModified comes again after kSaveRetryMs.
    void markSaveFailed();
    DeltaDocument* deltaDocument() const { return m_delta; }
    AttachmentRenderer* attachmentRenderer() const { return m_renderer; }
    QTimer* autosaveTimer() const { return m_autosaveTimer; }

    int wordCount() const;
    // Words in a text: runs separated by ASCII white space.
    static int countWords(const QString& text);
    // "1.5 KB", "3.0 MB".
    static QString attachmentSizeText(qint64 bytes);
    // The base name of an attachment file name, safe to create inside a folder of our own; the id
    // followed by ".bin" when nothing usable is left.
    static QString safeAttachmentFileName(const QString& fileName, const QString& attachmentId);
    // Where openAttachment and copyAttachmentFile put the copy of an attachment.
    static QString attachmentTempDirectory(const QString& attachmentId);

    EditorFormatState formatState() const;

    // Character formatting of the selection, or of the word under the cursor, or of what is typed next.
    void toggleBold();
    void toggleItalic();
    void toggleUnderline();
    void toggleStrikethrough();
    void toggleInlineCode();

    // 0 makes the blocks plain text again; 1..6 headings.
    void setHeadingLevel(int level);
    // "bullet", "ordered" or "unchecked"; toggles off when the first block already is one.
    void toggleList(const QString& type);
    // TextFormats::CodeBlockProperty or TextFormats::BlockquoteProperty.
    void toggleBlockProperty(int property);
    void setAlignment(Qt::Alignment alignment);
    void insertDivider();

    void insertLinkDialog();
    void editLinkDialog();
    void insertTableDialog();
    void insertAttachmentDialog();

    // Replaces the selection with a link; the URL is the text when text is empty.
    void insertLink(const QString& text, const QString& url);
    // Replaces the link run under the cursor.
    void editLinkAtCursor(const QString& text, const QString& url);
    void removeLinkAtCursor();
    // Nothing inside a table or for counts below 1.
    void insertTable(int rows, int columns, bool header);

    bool insertAttachmentFromPath(const QString& path);
    bool openAttachment(const QString& attachmentId, const QString& fileName);
    void saveAttachmentAs(const QString& attachmentId, const QString& fileName);
    // Writes the temporary copy and puts its file URL on the clipboard; false when nothing was written.
    bool copyAttachmentFile(const QString& attachmentId);
    // Takes the attachment out of the text, undoably; its row and file stay until the note is left.
    void removeAttachmentAtCursor(const QString& attachmentId);
    // Attachments removed from this note go for good when nothing refers to them any more: not the
    // text shown here, the stored body, another note or a snapshot. Loading another note and
    // clearing do this; an owner closing for good calls it after writing the note back.
    void releaseRemovedAttachments();

    // http, https and mailto open in their programs; the application's own note links emit
    // noteLinkActivated and attachment links open the attachment; any other address is opened only
    // after the user agreed to it.
    void openLink(const QString& url);
    // Whether the editor takes this key for editing itself (Ctrl+B, Ctrl+Shift+7, ...), ahead of
    // any window shortcut.
    bool handlesShortcut(const QKeySequence& key) const;
    void refreshAttachments();

    // The menu the context-menu event shows for a point of the viewport (the cursor is moved there
    // first). The caller owns it.
    QMenu* createContextMenuAt(const QPoint& viewportPos);

    // The attachment id at a point of the viewport, empty when there is none.
    QString attachmentIdAt(const QPoint& viewportPos) const;

signals:
    void noteModified();
    void noteLinkActivated(const QString& noteId);
    void savedStateChanged(bool saved);
    void saveFailed();
    void wordCountChanged(int count);
    void cursorFormatChanged();
    void formatStateChanged(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                            const QString& listType, bool codeBlock, bool blockquote, bool inTable,
                            Qt::Alignment alignment);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    struct LinkRange
    {
        int start = 0;
        int end = 0;
        QString href;
        QString text;
    };

    // Core (NoteEditor.cpp): the autosave chain, word count, theme.
    void onContentsChanged();
    void onAutosaveTimeout();
    void emitFormatState();
    // After the format of the lines under the caret changed: the caret takes it, the toolbar follows.
    void takeLineFormatAtCaret();
    void recountWords(int from, int to);
    void restyle();
    // The font scale and palette a document was built with: colours and sizes are baked in at load.
    static QString styleKey();
    void applyEditorFont();

    // Formatting (NoteEditorFormat.cpp).
    void toggleCharProperty(int property);
    void applyToSelectionFragments(QTextCursor cursor, const std::function<void(QTextCharFormat&)>& change);
    void mergeAtCursor(const QTextCharFormat& change);
    void changeBlockKind(const std::function<void(QTextBlockFormat&)>& change);

    // Keys and block moves (NoteEditorKeys.cpp).
    bool handleListEnter(QKeyEvent* event);
    bool handleFirstBlockBackspace();
    bool handleTableTab(QKeyEvent* event);
    bool handleCtrlKey(QKeyEvent* event);
    bool handleCtrlShiftKey(QKeyEvent* event);
    bool handleAltKey(QKeyEvent* event);
    bool isEditorShortcut(QKeyEvent* event) const;
    void duplicateBlock();
    void deleteBlock();
    void moveBlock(bool up);

    // Mouse and menus (NoteEditorMouse.cpp).
    void selectBlockAt(const QPoint& viewportPos);

    // Links (NoteEditorLinks.cpp).
    std::optional<LinkRange> linkAt(int position) const;
    std::optional<QTextCursor> linkUnderCursor() const;
    void openLinkDialog(bool edit);

    // Tables (NoteEditorTables.cpp).
    void addTableMenu(QMenu* menu);
    void deleteTableAtCursor();

    // Attachments (NoteEditorAttachments.cpp).
    std::optional<Attachment> attachmentRecord(const QString& attachmentId) const;
    QString attachmentIdAtPosition(int position) const;
    bool openAttachmentOrImage(const QString& attachmentId);
    bool writeTemporaryCopy(const QString& attachmentId, const QString& fileName, QString* path);

    // Core.
    DeltaDocument* m_delta = nullptr;
    QPointer<ThemeManager> m_themes;
    QTimer* m_autosaveTimer = nullptr;
    QString m_noteId;
    bool m_loading = false;
    bool m_saved = true;
    // Set by markSaveFailed while the owner handles noteModified.
    bool m_saveFailed = false;
    // Bumped by every load and clear, so an answer from a dialog opened before it is dropped.
    int m_loadGeneration = 0;
    QString m_loadedStyle;
    // Draws dividers and the placeholder of tables too large to build.
    QObject* m_embedRenderer = nullptr;

    // Mouse: triple-click detection, when and where the last double-click happened (ms, -1 when none).
    qint64 m_lastDoubleClickMs = -1;
    QPoint m_lastDoubleClickPos;

    // Attachments.
    QPointer<AttachmentRepository> m_attachments;
    AttachmentRenderer* m_renderer = nullptr;
    // Removed through the menu while this note was shown; checked when it is left.
    QStringList m_removedAttachments;
};
