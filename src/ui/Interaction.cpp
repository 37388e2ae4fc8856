#include "Interaction.h"

#include <QFileDialog>
#include <QInputDialog>
#include <optional>

namespace Interaction {

namespace {

Script* g_active = nullptr;

} // namespace

struct ScriptAccess
{
    // Records the request on the active script and hands back its next answer, if one is queued.
    static std::optional<Answer> take(const Request& request)
    {
        if (!g_active)
            return std::nullopt;
        g_active->m_requests.append(request);
        if (g_active->m_answers.isEmpty())
            return std::nullopt;
        return g_active->m_answers.takeFirst();
    }
};

namespace {

Request messageRequest(Kind kind, QWidget* parent, const QString& title, const QString& text,
                       QMessageBox::StandardButtons buttons,
                       QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    Request r;
    r.kind = kind;
    r.parent = parent;
    r.title = title;
    r.text = text;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return r;
}

Request fileRequest(Kind kind, QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    Request r;
    r.kind = kind;
    r.parent = parent;
    r.title = caption;
    r.text = dir;
    r.filter = filter;
    return r;
}

QString chosenText(const Answer& a)
{
    return a.accepted ? a.text : QString();
}

} // namespace

Script::Script()
    : m_previous(g_active)
{
    g_active = this;
}

Script::~Script()
{
    // Scripts are stack objects in tests; restoring the previous one keeps nesting simple.
    if (g_active == this)
        g_active = m_previous;
}

void Script::answer(QMessageBox::StandardButton button)
{
    Answer a;
    a.button = button;
    m_answers.append(a);
}

void Script::answerText(const QString& text)
{
    Answer a;
    a.text = text;
    m_answers.append(a);
}

void Script::cancel()
{
    Answer a;
    a.button = QMessageBox::Cancel;
    a.accepted = false;
    m_answers.append(a);
}

QMessageBox::StandardButton critical(QWidget* parent, const QString& title, const QString& text)
{
    if (auto a = ScriptAccess::take(messageRequest(Kind::Critical, parent, title, text, QMessageBox::Ok)))
        return a->button;
    return QMessageBox::critical(parent, title, text);
}

QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text)
{
    if (auto a = ScriptAccess::take(messageRequest(Kind::Warning, parent, title, text, QMessageBox::Ok)))
        return a->button;
    return QMessageBox::warning(parent, title, text);
}

QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text)
{
    if (auto a = ScriptAccess::take(messageRequest(Kind::Information, parent, title, text, QMessageBox::Ok)))
        return a->button;
    return QMessageBox::information(parent, title, text);
}

QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    if (auto a = ScriptAccess::take(messageRequest(Kind::Question, parent, title, text, buttons, defaultButton)))
        return a->button;
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    if (auto a = ScriptAccess::take(fileRequest(Kind::OpenFile, parent, caption, dir, filter)))
        return chosenText(*a);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    if (auto a = ScriptAccess::take(fileRequest(Kind::SaveFile, parent, caption, dir, filter)))
        return chosenText(*a);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    if (auto a = ScriptAccess::take(fileRequest(Kind::Directory, parent, caption, dir, QString())))
        return chosenText(*a);
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QString getText(QWidget* parent, const QString& title, const QString& label, const QString& text, bool* ok)
{
    Request r;
    r.kind = Kind::Text;
    r.parent = parent;
    r.title = title;
    r.text = label;
    r.initialValue = text;
    if (auto a = ScriptAccess::take(r)) {
        if (ok)
            *ok = a->accepted;
        return chosenText(*a);
    }
    bool accepted = false;
    const QString result = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &accepted);
    if (ok)
        *ok = accepted;
    return accepted ? result : QString();
}

} // namespace Interaction
