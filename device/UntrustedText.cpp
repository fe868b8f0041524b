#include "device/UntrustedText.h"

namespace {

constexpr int longestText = 200;

bool isControl(QChar c)
{
    const ushort code = c.unicode();
    return code < 0x20 || (code >= 0x7f && code <= 0x9f);
}

} // namespace

QString untrustedText(const QString &text)
{
    int length = qMin(text.size(), longestText);
    // Never half of a character that takes two.
    if (length < text.size() && text.at(length - 1).isHighSurrogate())
        --length;
    QString clean = text.left(length);
    for (QChar &c : clean) {
        if (isControl(c))
            c = QLatin1Char('?');
    }
    if (length < text.size())
        clean += QStringLiteral("...");
    return clean;
}
