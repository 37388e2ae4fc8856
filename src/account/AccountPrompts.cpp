#include "AccountPrompts.h"

#include <QInputDialog>
#include <QMessageBox>

namespace NorvAccount {

namespace {

Prompts standardPrompts()
{
    Prompts p;
    p.getText = [](QWidget* parent, const QString& title, const QString& label, const QString& text,
                   QLineEdit::EchoMode echo, bool* ok) {
        return QInputDialog::getText(parent, title, label, echo, text, ok);
    };
    p.question = [](QWidget* parent, const QString& title, const QString& text) {
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    };
    p.information = [](QWidget* parent, const QString& title, const QString& text) {
        QMessageBox::information(parent, title, text);
    };
    return p;
}

Prompts& current()
{
    static Prompts prompts = standardPrompts();
    return prompts;
}

} // namespace

const Prompts& prompts()
{
    return current();
}

void setPrompts(const Prompts& prompts)
{
    const Prompts standard = standardPrompts();
    Prompts& p = current();
    p.getText = prompts.getText ? prompts.getText : standard.getText;
    p.question = prompts.question ? prompts.question : standard.question;
    p.information = prompts.information ? prompts.information : standard.information;
}

} // namespace NorvAccount
