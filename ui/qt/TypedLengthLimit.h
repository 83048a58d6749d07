#pragma once

#include <QValidator>

class QLineEdit;

// Limits what the user can put into a box without cutting a longer text that the program sets
// (Qt's maximum length would cut it). Whatever way text comes in (typing, paste by key, menu or
// middle click, dropping, an input method's commit), what would pass the limit is cut to fit;
// shortening the text always works.
class TypedLengthLimit : public QValidator {
    Q_OBJECT

public:
    TypedLengthLimit(int maxLength, QLineEdit* edit);

    State validate(QString& input, int& pos) const override;

    // Sets a box's text in full, past its limit: the program's own values are not cut.
    static void SetTextAsIs(QLineEdit* edit, const QString& text);

private:
    int maxLength_;
    bool settingAsIs_ = false;
    QString accepted_; // the box's text before the edit being validated
};
