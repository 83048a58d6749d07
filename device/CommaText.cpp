#include "CommaText.h"

#include "TextUtil.h"

#include <stdexcept>

namespace qdl {
namespace {

constexpr char Quote = '"';
constexpr char Delimiter = ',';

// Reads the text like a C string: a NUL byte ends it just as its real end does.
class TextCursor {
public:
    explicit TextCursor(const std::string& text) : text_(text) {}

    unsigned char Current() const { return At(pos_); }
    unsigned char Next() const { return At(pos_ + 1); }
    bool AtEnd() const { return Current() == 0; }
    bool AtLastCharacter() const { return !AtEnd() && Next() == 0; }
    void Advance() { ++pos_; }
    void SkipBlanksAndControls() {
        while (!AtEnd() && Current() <= ' ')
            Advance();
    }

private:
    unsigned char At(std::size_t pos) const {
        return pos < text_.size() ? static_cast<unsigned char>(text_[pos]) : 0;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

std::string ReadQuotedItem(TextCursor& cursor) {
    std::string item;
    cursor.Advance(); // opening quote
    while (!cursor.AtEnd()) {
        if (cursor.Current() == Quote) {
            if (cursor.Next() != Quote) {
                cursor.Advance();
                return item;
            }
            cursor.Advance();
        }
        item += static_cast<char>(cursor.Current());
        cursor.Advance();
    }
    // An unclosed quote takes the rest of the text but loses its last character.
    if (!item.empty())
        item.pop_back();
    return item;
}

std::string ReadPlainItem(TextCursor& cursor) {
    std::string item;
    while (!cursor.AtEnd() && cursor.Current() > ' ' && cursor.Current() != Delimiter) {
        item += static_cast<char>(cursor.Current());
        cursor.Advance();
    }
    return item;
}

bool NeedsQuotes(const std::string& item) {
    for (unsigned char c : item) {
        if (c == 0)
            return false;
        if (c <= ' ' || c == Quote || c == Delimiter)
            return true;
    }
    return false;
}

std::string QuotedItem(const std::string& item) {
    std::string quoted(1, Quote);
    for (char c : item) {
        quoted += c;
        if (c == Quote)
            quoted += Quote;
    }
    quoted += Quote;
    return quoted;
}

} // namespace

void SplitCommaText(ReplyList& list, const std::string& text) {
    list.clear();
    TextCursor cursor(text);
    cursor.SkipBlanksAndControls();
    while (!cursor.AtEnd()) {
        list.push_back(cursor.Current() == Quote ? ReadQuotedItem(cursor) : ReadPlainItem(cursor));
        cursor.SkipBlanksAndControls();
        if (cursor.Current() == Delimiter) {
            if (cursor.AtLastCharacter())
                list.emplace_back();
            cursor.Advance();
            cursor.SkipBlanksAndControls();
        }
    }
}

std::string JoinCommaText(const ReplyList& list) {
    if (list.size() == 1 && list.front().empty())
        return std::string(2, Quote);
    std::string text;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += Delimiter;
        text += NeedsQuotes(list[i]) ? QuotedItem(list[i]) : list[i];
    }
    return text;
}

ReplyList& StripHtmlReply(ReplyList& list) {
    static const std::string Open = "<html>";
    static const std::string Close = "</html>";
    std::string payload = JoinCommaText(list);
    const auto open = payload.find(Open);
    // Without an opening marker the text still loses as many characters as "<html>" minus one,
    // as the switch's own tools have always done.
    payload.erase(0, open == std::string::npos ? Open.size() - 1 : open + Open.size());
    const auto close = payload.find(Close);
    payload = close == std::string::npos ? std::string() : payload.substr(0, close);
    SplitCommaText(list, payload);
    return list;
}

std::string NamedValue(const ReplyList& list, const std::string& name) {
    for (const auto& item : list) {
        const auto equals = item.find('=');
        if (equals != std::string::npos && EqualsIgnoringCase(item.substr(0, equals), name))
            return item.substr(equals + 1);
    }
    return {};
}

const std::string& ListItem(const ReplyList& list, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        throw std::runtime_error(Format("リストのインデックスが範囲を超えています (%d)", index));
    return list[static_cast<std::size_t>(index)];
}

} // namespace qdl
