#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

// Every question the application puts to the user (message boxes, Yes/No questions, file and
// directory choosers, text input) goes through here. Normally each call shows the real dialog;
// while an Interaction::Script is alive, each call is recorded and, when an answer has been queued,
// takes that answer instead of showing anything. Tests use it to answer dialogs in advance.
namespace Interaction {

enum class Kind
{
    Critical,
    Warning,
    Information,
    Question,
    OpenFile,
    SaveFile,
    Directory,
    Text,
};

// What was asked. For message boxes `text` is the message; for file and directory choosers it is
// the suggested path; for text input it is the label.
struct Request
{
    Kind kind = Kind::Critical;
    QPointer<QWidget> parent;
    QString title;
    QString text;
    QString filter;                                                    // file choosers only
    QString initialValue;                                              // text input only
    QMessageBox::StandardButtons buttons;                              // message boxes only
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton; // questions only
};

// A prepared answer. Message boxes take `button`; choosers and text input take `text`, or give
// the cancelled result when `accepted` is false.
struct Answer
{
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    QString text;
    bool accepted = true;
};

QMessageBox::StandardButton critical(QWidget* parent, const QString& title, const QString& text);
QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text);
QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text);
QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::StandardButton defaultButton = QMessageBox::No);

// Empty text when the user cancels.
QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir = QString(),
                        const QString& filter = QString());
QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir = QString(),
                        const QString& filter = QString());
QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir = QString());

// *ok (when given) tells whether the user accepted; a cancelled input returns an empty text.
QString getText(QWidget* parent, const QString& title, const QString& label, const QString& text = QString(),
                bool* ok = nullptr);

// Scripted answers for tests. While a Script exists it records every request; a call with an answer
// in the queue consumes it and shows no dialog, a call with an empty queue shows the real dialog.
// Scripts nest: the newest one is active until it is destroyed.
class Script
{
public:
    Script();
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    void answer(QMessageBox::StandardButton button);
    void answerText(const QString& text);
    void cancel();

    QList<Request> requests() const { return m_requests; }
    int pendingAnswers() const { return m_answers.size(); }

private:
    friend struct ScriptAccess;
    QList<Answer> m_answers;
    QList<Request> m_requests;
    Script* m_previous = nullptr;
};

} // namespace Interaction
