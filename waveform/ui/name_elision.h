#pragma once
// Channel names shortened to a width so that different names still read
// differently: "SRC 1  Vag Mag" and "SRC 2  Vag Mag" must not both become
// "SRC … Mag".

#include <QString>
#include <QStringList>

#include <functional>

namespace wave {

// Each name that is wider than available becomes a head and a tail of it
// joined by "…", as long as fits, chosen so that no other name of the list has
// that head and that tail too; where no such text fits, the longest head and
// tail that fit. width measures a text.
QStringList DistinctElidedNames(const QStringList& names, qreal available,
                                const std::function<qreal(const QString&)>& width);

}  // namespace wave
