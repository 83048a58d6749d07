#pragma once

#include <QObject>

class QLineEdit;

// Limits what can be typed or pasted into a box without cutting a longer text that the program
// sets (Qt's maximum length would cut it): keys that would grow the text past the limit are
// swallowed, a paste is cut to what still fits, and shortening the text always works.
class TypedLengthLimit : public QObject {
public:
    TypedLengthLimit(int maxLength, QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // How many more characters fit once the selection is replaced.
    int Room() const;

    int maxLength_;
    QLineEdit* edit_;
};
