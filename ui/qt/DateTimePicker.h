#pragma once

#include <QDateTimeEdit>

// A date or time picker that is one tab stop: Tab leaves it for the next control, as on the
// designed window; its fields are reached with the arrow keys or a click.
class DateTimePicker : public QDateTimeEdit {
    Q_OBJECT

public:
    explicit DateTimePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
};
