#include "TurkishLike.h"

#include <QRegularExpression>

namespace {

bool isAnyI(QChar c) {
    return c == u'i' || c == u'I' || c == u'\u0131' || c == u'\u0130';
}

// One run of the pattern between two `%`: its letters, `_` as any one
// character, and the four i's as one class; the rest is taken literally.
QString segmentExpression(QStringView segment) {
    QString expression;
    QString literal;
    const auto flush = [&] {
        expression += QRegularExpression::escape(literal);
        literal.clear();
    };
    for (const QChar c : segment) {
        if (c == u'_') {
            flush();
            expression += u'.';
        } else if (isAnyI(c)) {
            flush();
            expression += QStringLiteral("[iI\u0131\u0130]");
        } else {
            literal += c;
        }
    }
    flush();
    return expression;
}

} // namespace

// The first run is anchored at the start; each later one is found at its
// first place after the one before, in an atomic group, which is always right
// for LIKE and keeps patterns such as "%a%a%a%a%b" from backtracking. The last
// run of a pattern that does not end in `%` must reach the end.
QString turkishLikeExpression(QStringView pattern) {
    const QList<QStringView> segments = pattern.split(u'%');
    // Caseless, and `.` takes line breaks too.
    QString expression = QStringLiteral("(?is)\\A") + segmentExpression(segments.first());
    if (segments.size() == 1) {
        return expression + QStringLiteral("\\z");
    }
    for (qsizetype i = 1; i < segments.size(); ++i) {
        if (segments[i].isEmpty()) {
            continue;
        }
        const bool last = i == segments.size() - 1;
        expression += QStringLiteral("(?>.*?") + segmentExpression(segments[i]) +
                      (last ? QStringLiteral("\\z)") : QStringLiteral(")"));
    }
    return expression;
}

bool turkishLike(QStringView pattern, QStringView value) {
    const QRegularExpression expression(turkishLikeExpression(pattern),
                                        QRegularExpression::DontCaptureOption);
    return expression.match(value).hasMatch();
}
