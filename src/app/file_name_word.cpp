#include "app/file_name_word.h"

QString FirstWord(const QString& text) {
    qsizetype pos = 0;
    while (pos < text.size() && text[pos] == u' ') ++pos;
    if (pos < text.size() && text[pos] == u'"') {
        const qsizetype close = text.indexOf(u'"', pos + 1);
        return text.mid(pos + 1, close < 0 ? -1 : close - pos - 1);
    }
    const qsizetype end = text.indexOf(u' ', pos);
    return text.mid(pos, end < 0 ? -1 : end - pos);
}

bool IsPlausibleFileName(const QString& word) {
    for (const QChar c : word) {
        if (QStringView(u";,=+<>\"[]|").contains(c)) return false;
    }
    return true;
}

QString QuotedIfBlank(const QString& path) {
    if (path.contains(u' ') && !path.startsWith(u'"')) return u'"' + path + u'"';
    return path;
}
