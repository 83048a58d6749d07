#include "EditBox.h"

#include <QFocusEvent>

EditBox::EditBox(QWidget* parent) : QLineEdit(parent) {}

void EditBox::focusInEvent(QFocusEvent* event) {
    // A line edit selects everything only for keyboard focus reasons; any other reason keeps
    // the text as it is.
    QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
    QLineEdit::focusInEvent(&plain);
    event->accept();
}
