#pragma once

#include <QJsonArray>
#include <QObject>
#include <QString>

class QTextDocument;

// One note body held as an editable rich-text document. Loading turns Delta JSON into the
// document the editor shows; toJson turns the (possibly edited) document back into Delta.
class DeltaDocument : public QObject
{
    Q_OBJECT

public:
    explicit DeltaDocument(QObject* parent = nullptr);

    // An empty text clears the document. Text that is not a JSON array is shown as plain text,
    // so a damaged body is never lost: saving it afterwards makes it a proper Delta body.
    void loadJson(const QString& json);
    // Rebuilds the document from the array and clears undo and redo.
    void loadDelta(const QJsonArray& delta);

    // The document as compact Delta JSON.
    QString toJson() const;
    QJsonArray toDelta() const;
    QString plainText() const;

    QTextDocument* textDocument() const { return m_document; }
    // The array last handed to loadDelta (or loaded through loadJson).
    QJsonArray loadedDelta() const { return m_loaded; }

signals:
    // Every change of the document's contents, except those made by loading.
    void contentsChanged();

private:
    void rebuild(const QJsonArray& delta);

    QTextDocument* m_document;
    QJsonArray m_loaded;
};
