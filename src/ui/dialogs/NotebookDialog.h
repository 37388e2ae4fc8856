#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;

// Asks for the name of a new notebook or the new name of an existing one.
class NotebookDialog : public QDialog
{
    Q_OBJECT

public:
    NotebookDialog(const QString& title, const QString& initialName, QWidget* parent = nullptr);

    // The name as typed, trimmed.
    QString name() const;

private:
    void updateOkButton();

    QLineEdit* m_name;
    QDialogButtonBox* m_buttons;
};
