#pragma once

#include <QIcon>
#include <functional>
#include <QPointer>
#include <QToolBar>

class NoteEditor;
class QAction;
class QComboBox;

// An icon drawn from a glyph of the "Material Icons" font, in the palette's button text colour at the
// moment it is painted, so it follows light and dark themes without being rebuilt.
QIcon glyphIcon(QChar glyph);

// Material Icons code points used by the editor bars.
namespace Glyph {
inline constexpr char16_t Bold = 0xe238;
inline constexpr char16_t Italic = 0xe23f;
inline constexpr char16_t Underline = 0xe249;
inline constexpr char16_t Strike = 0xe257;
inline constexpr char16_t Code = 0xe86f;
inline constexpr char16_t BulletList = 0xe241;
inline constexpr char16_t NumberedList = 0xe242;
inline constexpr char16_t CheckList = 0xe834;
inline constexpr char16_t CodeBlock = 0xead3;
inline constexpr char16_t Quote = 0xe244;
inline constexpr char16_t AlignLeft = 0xe236;
inline constexpr char16_t AlignCenter = 0xe234;
inline constexpr char16_t AlignRight = 0xe237;
inline constexpr char16_t Link = 0xe157;
inline constexpr char16_t Divider = 0xf108;
inline constexpr char16_t Table = 0xe265;
inline constexpr char16_t Attachment = 0xe226;
inline constexpr char16_t ArrowUp = 0xe316;
inline constexpr char16_t ArrowDown = 0xe313;
inline constexpr char16_t Close = 0xe5cd;
inline constexpr char16_t Sidebar = 0xe9bd;
inline constexpr char16_t Folder = 0xe2c7;
inline constexpr char16_t Copy = 0xe14d;
inline constexpr char16_t Share = 0xe80d;
inline constexpr char16_t History = 0xe889;
inline constexpr char16_t More = 0xe5d4;
} // namespace Glyph

// The formatting buttons above the editor. Each action runs the matching editor operation; the
// check marks follow the editor's format state.
class EditorToolbar : public QToolBar
{
    Q_OBJECT

public:
    explicit EditorToolbar(NoteEditor* editor, QWidget* parent = nullptr);

    NoteEditor* editor() const;
    QComboBox* headingCombo() const { return m_heading; }

    // Tooltips name a shortcut, "Bold (Ctrl+B)", only where the window has it: the check is asked
    // about each named key, and a key it does not know is left out of the tooltip.
    using ShortcutCheck = std::function<bool(const QKeySequence&)>;
    void setShortcutCheck(ShortcutCheck exists);

public slots:
    // Sets every check mark without triggering an action.
    void updateFormatState(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                           const QString& listType, bool codeBlock, bool blockquote, bool inTable,
                           Qt::Alignment alignment);

private:
    QAction* addFormatAction(const QString& name, char16_t glyph, const QString& tip, bool checkable,
                             const std::function<void(NoteEditor*)>& run);
    QString shownTip(const QString& tip) const;

    ShortcutCheck m_shortcutExists;
    QPointer<NoteEditor> m_editor;
    QAction* m_bold = nullptr;
    QAction* m_italic = nullptr;
    QAction* m_underline = nullptr;
    QAction* m_strike = nullptr;
    QAction* m_code = nullptr;
    QComboBox* m_heading = nullptr;
    QAction* m_bullet = nullptr;
    QAction* m_numbered = nullptr;
    QAction* m_checkbox = nullptr;
    QAction* m_codeBlock = nullptr;
    QAction* m_quote = nullptr;
    QAction* m_alignLeft = nullptr;
    QAction* m_alignCenter = nullptr;
    QAction* m_alignRight = nullptr;
    QAction* m_link = nullptr;
    QAction* m_divider = nullptr;
    QAction* m_table = nullptr;
    QAction* m_attachment = nullptr;
};
