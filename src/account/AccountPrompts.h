#pragma once

#include <QLineEdit>
#include <QString>
#include <functional>

class QWidget;

namespace NorvAccount {

// The questions the account screen and the share dialog put to the user. By default they are Qt's
// standard dialogs; the application routes them through its own dialog layer, and tests answer them
// in advance.
struct Prompts
{
    // *ok tells whether the user accepted.
    std::function<QString(QWidget* parent, const QString& title, const QString& label, const QString& text,
                          QLineEdit::EchoMode echo, bool* ok)>
        getText;
    // True for Yes; No is the default button.
    std::function<bool(QWidget* parent, const QString& title, const QString& text)> question;
    std::function<void(QWidget* parent, const QString& title, const QString& text)> information;
};

const Prompts& prompts();
// Empty members keep the standard dialog.
void setPrompts(const Prompts& prompts);

} // namespace NorvAccount
