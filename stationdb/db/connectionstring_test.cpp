#include "stationdb/db/connectionstring.h"

#include <gtest/gtest.h>

#include "stationdb/db/error.h"

namespace db {
namespace {

struct LookupCase {
  const char* text;
  const char* keyword;
  std::optional<std::string> expected;
};

TEST(ConnectionStringTest, LooksValuesUp) {
  const LookupCase cases[] = {
      {"Provider=SQLOLEDB.1;Data Source=host", "data source", "host"},
      {"Provider=SQLOLEDB.1;Data Source=host", "Initial Catalog", std::nullopt},
      {"  User ID = sa  ;Password=", "USER ID", "sa"},
      {"User ID=sa;Password=", "Password", ""},
      {"Password=\"a;b\";x=1", "Password", "a;b"},
      {"Password='say \"hi\"'", "Password", "say \"hi\""},
      {"Password=\"a\"\"b\"", "Password", "a\"b"},
      {"Password=\" padded \"", "Password", " padded "},
      {"Key==Name=v", "Key=Name", "v"},
      {";;Data Source=host;;", "Data Source", "host"},
      // The last occurrence counts, except for Provider, where the first does.
      {"Initial Catalog=velkora_config_A;Initial Catalog=other;Data Source=h", "Initial Catalog", "other"},
      {"Provider=first;Provider=second", "Provider", "first"},
      {"Data Source=a=b", "Data Source", "a=b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConnectionString::parse(c.text).get(c.keyword), c.expected) << c.text << " / " << c.keyword;
}

TEST(ConnectionStringTest, MalformedStringsRaise) {
  for (const char* text : {"Provider", "Data Source=h;Oops", "Password=\"open", "Password=\"a\"b"})
    EXPECT_THROW(ConnectionString::parse(text), Error) << text;
}

TEST(ConnectionStringTest, QuotedValuesReadBackUnchanged) {
  for (const std::string value : {"plain", "", "semi;colon", " lead", "trail ", "\"starts", "'starts", "both \" and '",
                                  "a=b", "=first", "\tx", "中文"}) {
    const std::string text = "User ID=u;Password=" + QuoteConnectionValue(value) + ";Data Source=h";
    EXPECT_EQ(ConnectionString::parse(text).get("Password"), value) << text;
  }
  EXPECT_EQ(QuoteConnectionValue("plain"), "plain");  // ordinary values stay as they are
}

}  // namespace
}  // namespace db
