#include "ui/Text.h"

#include "model/ActionCodes.h"

#include "platform/Unicode.h"

QString FromModel(const std::string& text) {
    return QString::fromStdString(platform::ToValidUtf8(text));
}

std::string ToModel(const QString& text) {
    return text.toStdString();
}

QString TrimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].unicode() <= ' ') ++first;
    while (last > first && text[last - 1].unicode() <= ' ') --last;
    return text.mid(first, last - first);
}

bool ParseWholeNumber(const QString& text, std::int32_t& number) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16, ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16, i += 2;
    }
    if (i == text.size()) return false;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = QChar(text[i]).isDigit() && text[i].unicode() < 128 ? text[i].unicode() - '0'
                      : base == 16 && text[i].toLower() >= 'a' && text[i].toLower() <= 'f'
                          ? text[i].toLower().unicode() - 'a' + 10
                          : -1;
        if (d < 0) return false;
        value = value * base + d;
        if (value > 0x80000000LL) return false;
    }
    if (negative) value = -value;
    if (base == 16 && !negative && value > 0x7FFFFFFF) return false;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    number = static_cast<std::int32_t>(value);
    return true;
}

QString ProfileFilter() {
    return QStringLiteral("Lumagrabber profile (*.lgp)|*.lgp|All Files (*.*)|*.*");
}

int VirtualKeyIndex(int virtualKey) {
    return codes::OfferedKeyIndex(virtualKey);
}

int VirtualKeyCode(int index) {
    return codes::OfferedKey(index);
}
