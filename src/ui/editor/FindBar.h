#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class NoteEditor;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

// Find in the open note: every match highlighted, Enter and the arrows step through them with
// wrap-around, and a counter says where the cursor is among them.
class FindBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHighlightDelayMs = 150;
    // Painting cost grows with every extra selection; beyond this many matches only the count is exact.
    static constexpr int kMaxHighlights = 5000;

    explicit FindBar(NoteEditor* editor, QWidget* parent = nullptr);

    void showBar();
    void findNext(bool forward = true);
    void closeBar();

    QList<int> matchPositions() const { return m_matches; }
    int matchCount() const { return int(m_matches.size()); }
    QString countText() const;
    QLineEdit* field() const { return m_field; }
    QTimer* highlightTimer() const { return m_highlightTimer; }

    // The bar's style sheet for a palette.
    static QString barStyleSheet(bool dark);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void highlight();
    void updateCount();
    void applyStyle();

    QPointer<NoteEditor> m_editor;
    QLineEdit* m_field;
    QToolButton* m_matchCase;
    QToolButton* m_previous;
    QToolButton* m_next;
    QLabel* m_count;
    QToolButton* m_close;
    QTimer* m_highlightTimer;
    QList<int> m_matches;
    QString m_style;
};
