#include "LinkDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QEvent>
#include <QLineEdit>

LinkDialog::LinkDialog(QWidget* parent)
    : QDialog(parent)
    , m_text(new QLineEdit(this))
    , m_url(new QLineEdit(this))
{
    setObjectName(QStringLiteral("linkDialog"));
    setWindowTitle(tr("Insert Link"));
    setMinimumWidth(360);
    m_text->setObjectName(QStringLiteral("linkTextEdit"));
    m_url->setObjectName(QStringLiteral("linkUrlEdit"));
    m_url->setText(QStringLiteral("https://"));
    m_url->installEventFilter(this);

    auto* form = new QFormLayout(this);
    form->addRow(tr("Text:"), m_text);
    form->addRow(tr("URL:"), m_url);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("linkButtons"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // With the text already known (a selection) the address is what is left to type.
    m_url->setFocus();
}

void LinkDialog::setLinkText(const QString& text)
{
    m_text->setText(text);
    if (text.isEmpty())
        m_text->setFocus();
    else
        m_url->setFocus();
}

void LinkDialog::setUrl(const QString& url)
{
    m_url->setText(url);
}

QString LinkDialog::linkText() const
{
    return m_text->text();
}

QString LinkDialog::url() const
{
    return m_url->text().trimmed();
}

bool LinkDialog::eventFilter(QObject* watched, QEvent* event)
{
    // A dialog hands focus to its first field as if by Tab, which selects the whole field; with only
    // the scheme in it the address is meant to be typed after the scheme, not over it.
    if (watched == m_url && event->type() == QEvent::FocusIn && m_url->text() == QLatin1String("https://")) {
        static_cast<QObject*>(m_url)->event(event);
        m_url->deselect();
        m_url->end(false);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
