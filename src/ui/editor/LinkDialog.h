#pragma once

#include <QDialog>

class QLineEdit;

// The form behind "Insert Link" and "Edit Link": the text shown and the address it points to.
class LinkDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LinkDialog(QWidget* parent = nullptr);

    void setLinkText(const QString& text);
    void setUrl(const QString& url);
    QString linkText() const;
    QString url() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_text;
    QLineEdit* m_url;
};
