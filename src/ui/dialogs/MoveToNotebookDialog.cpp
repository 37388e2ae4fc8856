#include "MoveToNotebookDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

MoveToNotebookDialog::MoveToNotebookDialog(const QList<Notebook>& notebooks, const QString& currentNotebookId,
                                           QWidget* parent)
    : QDialog(parent)
    , m_list(new QListWidget(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("moveToNotebookDialog"));
    setWindowTitle(tr("Move to Notebook"));
    setMinimumSize(300, 250);
    m_list->setObjectName(QStringLiteral("moveNotebookList"));
    m_buttons->setObjectName(QStringLiteral("moveButtons"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Select a notebook:"), this));
    layout->addWidget(m_list);
    layout->addWidget(m_buttons);

    for (const Notebook& notebook : notebooks) {
        auto* item = new QListWidgetItem(notebook.name, m_list);
        item->setData(Qt::UserRole, notebook.id);
        if (notebook.id == currentNotebookId) {
            item->setText(notebook.name + tr(" (current)"));
            // Still listed so the user sees where the note is, but moving it there would do nothing.
            item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        }
    }

    QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(m_list, &QListWidget::currentItemChanged, this,
            [this, ok] { ok->setEnabled(!selectedNotebookId().isEmpty()); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (item->flags() & Qt::ItemIsEnabled)
            accept();
    });
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString MoveToNotebookDialog::selectedNotebookId() const
{
    const QListWidgetItem* item = m_list->currentItem();
    if (!item || !(item->flags() & Qt::ItemIsEnabled))
        return QString();
    return item->data(Qt::UserRole).toString();
}
