#pragma once

#include "Records.h"

#include <QDialog>
#include <QList>

class QDialogButtonBox;
class QListWidget;

// Lets the user pick the notebook a note moves to; the note's own notebook is listed but cannot
// be picked.
class MoveToNotebookDialog : public QDialog
{
    Q_OBJECT

public:
    MoveToNotebookDialog(const QList<Notebook>& notebooks, const QString& currentNotebookId,
                         QWidget* parent = nullptr);

    // The chosen notebook's id; empty when nothing was chosen.
    QString selectedNotebookId() const;

private:
    QListWidget* m_list;
    QDialogButtonBox* m_buttons;
};
