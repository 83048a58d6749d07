#include "ClickablePanel.h"

#include <QMouseEvent>

ClickablePanel::ClickablePanel(QWidget* parent) : QFrame(parent) {}

// The panel takes its clicks, so that a click on an inner panel never reaches the outer one.
void ClickablePanel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickablePanel::mouseReleaseEvent(QMouseEvent* event) {
    const bool clicked =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (clicked)
        emit Click(this);
}
