#include "TypedLengthLimit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>

TypedLengthLimit::TypedLengthLimit(int maxLength, QLineEdit* edit)
    : QObject(edit), maxLength_(maxLength), edit_(edit) {
    edit->installEventFilter(this);
}

int TypedLengthLimit::Room() const {
    return maxLength_ - static_cast<int>(edit_->text().size() - edit_->selectedText().size());
}

bool TypedLengthLimit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != edit_ || event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key == QKeySequence::Paste) {
        const QString pasted = QGuiApplication::clipboard()->text();
        if (Room() > 0)
            edit_->insert(pasted.left(Room()));
        return true;
    }
    const QString typed = key->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
    return printable && typed.size() > Room();
}
