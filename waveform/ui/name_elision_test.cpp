#include "waveform/ui/name_elision.h"

#include <gtest/gtest.h>

#include <set>

namespace wave {
namespace {

// Every character one unit wide.
qreal characters(const QString& text) { return static_cast<qreal>(text.size()); }

// Whether shown (a name or head…tail) could be read as name.
bool readsAs(const QString& shown, const QString& name) {
  const qsizetype cut = shown.indexOf(QStringLiteral("…"));
  if (cut < 0) return shown == name;
  const QString head = shown.left(cut);
  const QString tail = shown.mid(cut + 1);
  return name.startsWith(head) && name.endsWith(tail) && head.size() + tail.size() <= name.size();
}

struct ElisionCase {
  const char* what;
  QStringList names;
  qreal width;
};

TEST(DistinctElidedNames, DifferentNamesReadDifferently) {
  const ElisionCase cases[] = {
      {"one relay's phasors",
       {QStringLiteral("SRC 1  Vag Mag"), QStringLiteral("SRC 1  Vag Angle"), QStringLiteral("SRC 1  Vbg Mag"),
        QStringLiteral("SRC 1  Vbg Angle"), QStringLiteral("SRC 2  Vag Mag"), QStringLiteral("SRC 2  Vag Angle"),
        QStringLiteral("SRC 2  Vbg Mag"), QStringLiteral("SRC 2  Vbg Angle")},
       12},
      {"a long common beginning", {QStringLiteral("Feeder 12 current Ia"), QStringLiteral("Feeder 12 current Ib")}, 8},
      {"a long common end", {QStringLiteral("Ia of feeder 12 line"), QStringLiteral("Ib of feeder 12 line")}, 8},
      {"one name inside another", {QStringLiteral("Ua"), QStringLiteral("Ua  bus 1"), QStringLiteral("Ua bus")}, 5},
      {"Chinese names", {QStringLiteral("1号主变高压侧A相电流"), QStringLiteral("1号主变高压侧B相电流"),
                         QStringLiteral("2号主变高压侧A相电流")}, 7},
  };
  for (const ElisionCase& c : cases) {
    const QStringList shown = DistinctElidedNames(c.names, c.width, characters);
    ASSERT_EQ(shown.size(), c.names.size()) << c.what;
    for (qsizetype i = 0; i < shown.size(); ++i) {
      EXPECT_LE(shown[i].size(), c.width) << c.what << ": " << shown[i].toStdString();
      EXPECT_TRUE(readsAs(shown[i], c.names[i])) << c.what << ": " << shown[i].toStdString();
      for (qsizetype j = 0; j < shown.size(); ++j) {
        if (j == i) continue;
        EXPECT_FALSE(readsAs(shown[i], c.names[j])) << c.what << ": " << shown[i].toStdString();
      }
    }
  }
}

TEST(DistinctElidedNames, NamesThatFitStayWholeAndACutIsInTheMiddleWhereItCan) {
  const QStringList names{QStringLiteral("Ia"), QStringLiteral("Voltage of bus"), QStringLiteral("Current of feeder")};
  EXPECT_EQ(DistinctElidedNames(names, 17, characters), names);
  const QStringList shown = DistinctElidedNames(names, 9, characters);
  EXPECT_EQ(shown[0], QStringLiteral("Ia"));
  EXPECT_EQ(shown[1], QStringLiteral("Volt… bus"));
  EXPECT_EQ(shown[2], QStringLiteral("Curr…eder"));
}

TEST(DistinctElidedNames, WhereNothingApartFitsTheLongestCutIsShown) {
  // Only the middle tells these apart, and no head and tail of 3 reach it.
  const QStringList names{QStringLiteral("ab1cd"), QStringLiteral("ab2cd")};
  const QStringList shown = DistinctElidedNames(names, 3, characters);
  EXPECT_EQ(shown[0], QStringLiteral("a…d"));
  EXPECT_EQ(shown[1], QStringLiteral("a…d"));
}

}  // namespace
}  // namespace wave
