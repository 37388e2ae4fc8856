#include "DeltaDocument.h"

#include "DeltaFormat.h"
#include "DocumentLog.h"
#include "FontScale.h"
#include "RichTextConversion.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QSignalBlocker>
#include <QTextDocument>

DeltaDocument::DeltaDocument(QObject* parent)
    : QObject(parent)
    , m_document(new QTextDocument(this))
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(FontScale::scaled(16));
    m_document->setDefaultFont(font);
    m_document->setDocumentMargin(16);
    connect(m_document, &QTextDocument::contentsChanged, this, &DeltaDocument::contentsChanged);
}

void DeltaDocument::loadJson(const QString& json)
{
    if (json.isEmpty()) {
        const QSignalBlocker blocker(m_document);
        m_document->clear();
        m_loaded = QJsonArray();
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error == QJsonParseError::NoError && doc.isArray()) {
        loadDelta(doc.array());
        return;
    }
    // The body itself stays out of the log.
    qCDebug(lcDocument) << "DeltaDocument::loadJson: body is not a Delta array, showing it as plain text ("
                        << json.size() << "characters)";
    const QSignalBlocker blocker(m_document);
    m_document->setPlainText(json);
    m_document->setModified(false);
}

void DeltaDocument::loadDelta(const QJsonArray& delta)
{
    m_loaded = delta;
    rebuild(delta);
}

void DeltaDocument::rebuild(const QJsonArray& delta)
{
    const QSignalBlocker blocker(m_document);
    // Recording undo steps for a load only costs time: the stacks are emptied afterwards anyway.
    const bool undoEnabled = m_document->isUndoRedoEnabled();
    m_document->setUndoRedoEnabled(false);
    m_document->clear();
    fillDocument(m_document, parseDelta(delta));
    m_document->setUndoRedoEnabled(undoEnabled);
    m_document->clearUndoRedoStacks();
    m_document->setModified(false);
}

QString DeltaDocument::toJson() const
{
    return QString::fromUtf8(documentToDeltaJson(m_document));
}

QJsonArray DeltaDocument::toDelta() const
{
    return documentToDelta(m_document);
}

QString DeltaDocument::plainText() const
{
    return m_document->toPlainText();
}
