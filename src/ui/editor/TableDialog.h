#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

// The size of a new table and whether its first row is a header.
class TableDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TableDialog(QWidget* parent = nullptr);

    int rows() const;
    int columns() const;
    bool includeHeader() const;

private:
    QSpinBox* m_rows;
    QSpinBox* m_columns;
    QCheckBox* m_header;
};
