#pragma once

#include "Records.h"

#include <QLocale>
#include <QPageSize>
#include <QString>

// Turning note bodies into Markdown, HTML, plain text and PDF files. The converters read the
// Delta JSON directly, so any note can be exported without opening it in an editor.

enum class ExportFormat
{
    Markdown = 0,
    Html = 1,
    Pdf = 2,
    PlainText = 3,
};

struct ExportResult
{
    bool ok = false;
    QString path;  // the file written
    QString error; // set when ok is false
};

// ".md", ".html", ".pdf" or ".txt".
QString exportExtension(ExportFormat format);

// An empty body gives an empty string and a body that is not a Delta array comes back unchanged.
// Html and Pdf both give the HTML text; PlainText gives the text inserts joined.
QString convertBody(const QString& body, ExportFormat format);

// Converts the note's body and writes it to path (PDF through the text engine's printing).
// Only a file that cannot be opened is reported: "Failed to write file: <reason>".
ExportResult exportNote(const Note& note, const QString& path, ExportFormat format);

// The note's title (or "note-" and the start of its id) made safe as a file name, plus the extension.
QString suggestedFileName(const Note& note, ExportFormat format);

// Removes the characters file systems reserve, trims, keeps at most 50 characters; "note" when
// nothing is left.
QString sanitizeFileName(const QString& name);

// Letter in the territories that use it, A4 everywhere else.
QPageSize::PageSizeId exportPageSize(QLocale::Territory territory);
