#include "DateTimePicker.h"

DateTimePicker::DateTimePicker(QWidget* parent) : QDateTimeEdit(parent) {}

// QDateTimeEdit would step through its own fields first.
bool DateTimePicker::focusNextPrevChild(bool next) {
    return QWidget::focusNextPrevChild(next);
}
