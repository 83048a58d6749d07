#pragma once

#include <QLineEdit>

// An edit box that keeps its caret where it was when focus arrives, instead of selecting its
// whole text the way a line edit does when tabbed into.
class EditBox : public QLineEdit {
    Q_OBJECT

public:
    explicit EditBox(QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;
};
