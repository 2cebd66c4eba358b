// A count with its noun in the form Russian gives it: "1 установку", "2 установки",
// "5 установок", "21 установку", "11 установок".
#pragma once

#include <QString>

namespace kvel {

inline QString CountedNoun(long long count, const QString& one, const QString& few,
                           const QString& many) {
    const long long lastTwo = (count < 0 ? -count : count) % 100;
    const long long last = lastTwo % 10;
    const QString& noun = lastTwo >= 11 && lastTwo <= 14 ? many
                          : last == 1                    ? one
                          : last >= 2 && last <= 4       ? few
                                                         : many;
    return QString::number(count) + ' ' + noun;
}

} // namespace kvel
