#include "waveform/ui/name_elision.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace wave {
namespace {

const QString kEllipsis = QStringLiteral("…");

struct Likeness {
  qsizetype head = 0;    // characters both names begin with
  qsizetype tail = 0;    // characters both names end with
  qsizetype length = 0;  // the other name's length
};

Likeness likenessOf(const QString& name, const QString& other) {
  Likeness l;
  l.length = other.size();
  const qsizetype shorter = std::min(name.size(), other.size());
  while (l.head < shorter && name[l.head] == other[l.head]) ++l.head;
  while (l.tail < shorter && name[name.size() - 1 - l.tail] == other[other.size() - 1 - l.tail]) ++l.tail;
  return l;
}

QString elided(const QString& name, qsizetype head, qsizetype tail) {
  return name.left(head) + kEllipsis + name.right(tail);
}

QString elideApart(const QString& name, const std::vector<Likeness>& others, qreal available,
                   const std::function<qreal(const QString&)>& width) {
  // Widths from the characters' advances, so that each candidate costs no measuring.
  std::vector<qreal> before(static_cast<std::size_t>(name.size()) + 1, 0);
  for (qsizetype i = 0; i < name.size(); ++i)
    before[static_cast<std::size_t>(i) + 1] = before[static_cast<std::size_t>(i)] + width(name.mid(i, 1));
  const qreal total = before.back();
  const qreal ellipsis = width(kEllipsis);
  const auto candidateWidth = [&](qsizetype head, qsizetype tail) {
    return before[static_cast<std::size_t>(head)] + ellipsis + total -
           before[static_cast<std::size_t>(name.size() - tail)];
  };
  // head + "…" + tail could also be read as another name when that name
  // begins with the head and ends with the tail: longestAlike[head] is the
  // longest tail some other name shares with this one beside that head.
  std::vector<qsizetype> longestAlike(static_cast<std::size_t>(name.size()) + 1, -1);
  for (qsizetype head = 0; head <= name.size(); ++head)
    for (const Likeness& other : others)
      if (head <= other.head)
        longestAlike[static_cast<std::size_t>(head)] =
            std::max(longestAlike[static_cast<std::size_t>(head)], std::min(other.tail, other.length - head));
  std::optional<QString> longestFitting;
  for (qsizetype shown = name.size() - 1; shown >= 0; --shown) {
    // Heads and tails of about the same length first, as a middle cut gives.
    for (qsizetype offset = 0; offset <= 2 * shown + 1; ++offset) {
      const qsizetype head = shown / 2 + ((offset % 2 == 0) ? offset / 2 : -(offset + 1) / 2);
      if (head < 0 || head > shown) continue;
      const qsizetype tail = shown - head;
      if (candidateWidth(head, tail) > available) continue;
      if (!longestFitting) longestFitting = elided(name, head, tail);
      if (tail > longestAlike[static_cast<std::size_t>(head)]) return elided(name, head, tail);
    }
  }
  return longestFitting.value_or(kEllipsis);
}

}  // namespace

QStringList DistinctElidedNames(const QStringList& names, qreal available,
                                const std::function<qreal(const QString&)>& width) {
  QStringList shown;
  shown.reserve(names.size());
  for (const QString& name : names) {
    if (width(name) <= available) {
      shown.append(name);
      continue;
    }
    std::vector<Likeness> others;
    for (const QString& other : names)
      if (other != name) others.push_back(likenessOf(name, other));
    shown.append(elideApart(name, others, available, width));
  }
  return shown;
}

}  // namespace wave
