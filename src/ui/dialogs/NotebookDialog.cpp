#include "NotebookDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

NotebookDialog::NotebookDialog(const QString& title, const QString& initialName, QWidget* parent)
    : QDialog(parent)
    , m_name(new QLineEdit(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("notebookDialog"));
    setWindowTitle(title);
    setMinimumWidth(350);
    m_name->setObjectName(QStringLiteral("notebookNameEdit"));
    m_name->setPlaceholderText(tr("Notebook name"));
    m_name->setText(initialName);
    m_buttons->setObjectName(QStringLiteral("notebookButtons"));

    auto* form = new QFormLayout(this);
    form->addRow(tr("Name:"), m_name);
    form->addRow(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QLineEdit::textChanged, this, &NotebookDialog::updateOkButton);
    updateOkButton();
    m_name->setFocus();
}

QString NotebookDialog::name() const
{
    return m_name->text().trimmed();
}

void NotebookDialog::updateOkButton()
{
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!name().isEmpty());
}
