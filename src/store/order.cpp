#include "store/order.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <vector>

namespace {

// The user's language decides the order; the C locale (no language chosen)
// would order by character code, so English rules stand in for it.
const QCollator &collator()
{
    static const QCollator instance = [] {
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        QCollator made(locale);
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return instance;
}

} // namespace

namespace Order {

bool lessIgnoringCase(const QString &a, const QString &b)
{
    return collator().compare(a, b) < 0;
}

QStringList sortedIgnoringCase(QStringList texts)
{
    if (std::is_sorted(texts.cbegin(), texts.cend(), lessIgnoringCase))
        return texts;
    // Each text's key is made once, not once per comparison.
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(texts.size());
    for (qsizetype i = 0; i < texts.size(); ++i)
        keys.emplace_back(collator().sortKey(texts[i]), i);
    std::stable_sort(keys.begin(), keys.end(), [](const auto &a, const auto &b) { return a.first.compare(b.first) < 0; });
    QStringList sorted;
    sorted.reserve(texts.size());
    for (const auto &key : keys)
        sorted.append(std::move(texts[key.second]));
    return sorted;
}

} // namespace Order
