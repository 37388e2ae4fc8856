#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct FormPart
{
    QString name;
    QString filename;
    QByteArray contentType;
    QByteArray data;
};

// Splits a multipart/form-data body; nothing when the content type or the body's structure is broken.
std::optional<QList<FormPart>> parseMultipart(const QByteArray& contentType, const QByteArray& body);
