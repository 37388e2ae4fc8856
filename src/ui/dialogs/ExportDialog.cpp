#include "ExportDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

ExportDialog::ExportDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("exportDialog"));
    setWindowTitle(tr("Export Note"));
    setMinimumWidth(300);

    auto* group = new QGroupBox(tr("Format"), this);
    group->setObjectName(QStringLiteral("exportFormatGroup"));
    m_markdown = new QRadioButton(tr("Markdown (.md)"), group);
    m_markdown->setObjectName(QStringLiteral("exportMarkdownRadio"));
    m_html = new QRadioButton(tr("HTML (.html)"), group);
    m_html->setObjectName(QStringLiteral("exportHtmlRadio"));
    m_pdf = new QRadioButton(tr("PDF (.pdf)"), group);
    m_pdf->setObjectName(QStringLiteral("exportPdfRadio"));
    m_markdown->setChecked(true);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_markdown);
    groupLayout->addWidget(m_html);
    groupLayout->addWidget(m_pdf);

    m_attachments = new QCheckBox(tr("Include attachments (ZIP bundle)"), this);
    m_attachments->setObjectName(QStringLiteral("exportAttachmentsCheck"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("exportButtons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_attachments);
    layout->addWidget(buttons);
}

ExportFormat ExportDialog::format() const
{
    if (m_html->isChecked())
        return ExportFormat::Html;
    if (m_pdf->isChecked())
        return ExportFormat::Pdf;
    return ExportFormat::Markdown;
}

bool ExportDialog::includeAttachments() const
{
    return m_attachments->isChecked();
}
