#include "catalogue/OutsideText.h"

namespace {

constexpr int longestText = 200;

bool mustEscape(char16_t code)
{
    return code < 0x20 || (code >= 0x7f && code <= 0x9f) // C0, DEL, C1
        || code == 0x2028 || code == 0x2029 // line and paragraph separators
        || code == 0x061c || code == 0x200e || code == 0x200f || (code >= 0x202a && code <= 0x202e)
        || (code >= 0x2066 && code <= 0x2069) // bidirectional controls
        || (code >= 0x200b && code <= 0x200d) || code == 0x2060 || code == 0xfeff; // zero-width
}

void appendEscaped(QString &out, char16_t code)
{
    switch (code) {
    case u'\n': out += QLatin1String("\\n"); return;
    case u'\r': out += QLatin1String("\\r"); return;
    case u'\t': out += QLatin1String("\\t"); return;
    default: break;
    }
    out += QLatin1String("\\u")
        + QString::number(static_cast<uint>(code), 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

// Whether a backslash before next (none at the end) would read as an escape.
bool startsEscape(const QString &text, int next)
{
    if (next >= text.size())
        return true;
    const QChar c = text.at(next);
    return c == QLatin1Char('\\') || c == QLatin1Char('n') || c == QLatin1Char('r') || c == QLatin1Char('t')
        || c == QLatin1Char('u');
}

QString rendered(const QString &text, bool escapingBackslashes)
{
    QString out;
    out.reserve(text.size());
    for (int index = 0; index < text.size(); ++index) {
        const char16_t code = text.at(index).unicode();
        if (mustEscape(code))
            appendEscaped(out, code);
        else if (escapingBackslashes && code == u'\\' && startsEscape(text, index + 1))
            out += QLatin1String("\\\\");
        else
            out += text.at(index);
    }
    return out;
}

} // namespace

QString outsideText(const QString &text)
{
    return rendered(text, true);
}

QString untrustedText(const QString &text)
{
    int length = qMin(text.size(), longestText);
    // Never half of a character that takes two.
    if (length < text.size() && text.at(length - 1).isHighSurrogate())
        --length;
    const QString cut = outsideText(text.left(length));
    return length < text.size() ? cut + QStringLiteral("...") : cut;
}

QString shownLine(const QString &line)
{
    for (const QChar c : line) {
        if (mustEscape(c.unicode()))
            return rendered(line, false);
    }
    return line;
}
