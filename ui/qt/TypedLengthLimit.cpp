#include "TypedLengthLimit.h"

#include <QLineEdit>

#include <algorithm>

TypedLengthLimit::TypedLengthLimit(int maxLength, QLineEdit* edit)
    : QValidator(edit), maxLength_(maxLength), accepted_(edit->text()) {
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { accepted_ = text; });
    edit->setValidator(this);
}

QValidator::State TypedLengthLimit::validate(QString& input, int& pos) const {
    const QString& old = accepted_;
    if (settingAsIs_ || input.size() <= maxLength_ || input.size() <= old.size())
        return Acceptable;
    // The ends the old and the new text share enclose what came in.
    qsizetype prefix = 0;
    while (prefix < old.size() && prefix < input.size() && old[prefix] == input[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < old.size() - prefix && suffix < input.size() - prefix &&
           old[old.size() - 1 - suffix] == input[input.size() - 1 - suffix])
        ++suffix;
    const qsizetype room = std::max<qsizetype>(0, maxLength_ - prefix - suffix);
    const QString inserted = input.mid(prefix, input.size() - prefix - suffix).left(room);
    input = input.left(prefix) + inserted + input.right(suffix);
    pos = static_cast<int>(prefix + inserted.size());
    return Acceptable;
}

void TypedLengthLimit::SetTextAsIs(QLineEdit* edit, const QString& text) {
    auto* limit = qobject_cast<TypedLengthLimit*>(const_cast<QValidator*>(edit->validator()));
    if (limit != nullptr)
        limit->settingAsIs_ = true;
    edit->setText(text);
    if (limit != nullptr)
        limit->settingAsIs_ = false;
}
