#include "TableDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

TableDialog::TableDialog(QWidget* parent)
    : QDialog(parent)
    , m_rows(new QSpinBox(this))
    , m_columns(new QSpinBox(this))
    , m_header(new QCheckBox(tr("Include header row"), this))
{
    setObjectName(QStringLiteral("tableDialog"));
    setWindowTitle(tr("Insert Table"));
    m_rows->setObjectName(QStringLiteral("tableRowsSpin"));
    m_rows->setRange(1, 100);
    m_rows->setValue(3);
    m_columns->setObjectName(QStringLiteral("tableColumnsSpin"));
    m_columns->setRange(1, 20);
    m_columns->setValue(3);
    m_header->setObjectName(QStringLiteral("tableHeaderCheck"));
    m_header->setChecked(true);

    auto* form = new QFormLayout(this);
    form->addRow(tr("Rows:"), m_rows);
    form->addRow(tr("Columns:"), m_columns);
    form->addRow(m_header);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("tableButtons"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_rows->setFocus();
}

int TableDialog::rows() const
{
    return m_rows->value();
}

int TableDialog::columns() const
{
    return m_columns->value();
}

bool TableDialog::includeHeader() const
{
    return m_header->isChecked();
}
