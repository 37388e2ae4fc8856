#pragma once

#include "Export.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;

// Asks how a note is exported: the file format and whether its attachments go along in a ZIP.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ExportDialog(QWidget* parent = nullptr);

    ExportFormat format() const;
    bool includeAttachments() const;

private:
    QRadioButton* m_markdown;
    QRadioButton* m_html;
    QRadioButton* m_pdf;
    QCheckBox* m_attachments;
};
