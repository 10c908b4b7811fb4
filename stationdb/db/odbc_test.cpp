#include <gtest/gtest.h>

#include "stationdb/db/connection.h"
#include "stationdb/db/error.h"
#include "stationdb/db/odbcprovider.h"
#include "stationdb/db/testsupport.h"

namespace db {
namespace {

TEST(OdbcTest, TranslatesAdoStrings) {
  const std::pair<const char*, const char*> cases[] = {
      {"Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;Initial Catalog=VELKORA_BILLING;"
       "Data Source=db1",
       "Driver=FreeTDS;Server=db1;Database=VELKORA_BILLING;UID=sa;PWD=pw;"},
      {"Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=H;Data Source=db1",
       "Driver=FreeTDS;Server=db1;Database=H;Trusted_Connection=Yes;"},
      {"Initial Catalog=velkora_config_A;Provider=SQLOLEDB.1;Data Source=10.0.0.5,1433;User ID=u;Password=a",
       "Driver=FreeTDS;Server=10.0.0.5;Port=1433;Database=velkora_config_A;UID=u;PWD=a;"},
      {"Provider=SQLOLEDB.1;Data Source=tcp:host\\SQLEXPRESS;Password=\"x;}y\";Connect Timeout=3",
       "Driver=FreeTDS;Server=host\\SQLEXPRESS;PWD={x;}}y};"},
      {"Provider=SQLOLEDB.1;DSN=standby;Database=D;TDS_Version=7.4", "Database=D;DSN=standby;TDS_Version=7.4;"},
      {"Provider=SQLOLEDB.1;Driver={Other};Server=s", "Server=s;Driver={Other};"},
  };
  for (const auto& [ado, odbc] : cases)
    EXPECT_EQ(OdbcConnectionString(ConnectionString::parse(ado), "FreeTDS", ""), odbc) << ado;
  EXPECT_EQ(OdbcConnectionString(ConnectionString::parse("Data Source=s"), "PostgreSQL Unicode", "Port=5433;"),
            "Driver=PostgreSQL Unicode;Server=s;Port=5433;");
}

TEST(OdbcTest, NamesWithSpecialCharactersAreQuotedAsTheDriverReadsThem) {
  // The ADO string as the program builds it: values quoted where they must be.
  const ConnectionString ado = ConnectionString::parse(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=\" u;s{e}r \";Password=\"p+w;}\";"
      "Initial Catalog=\" c;a{t}x'\\ \";Data Source=h,5432");
  EXPECT_EQ(OdbcConnectionString(ado, "FreeTDS", ""),
            "Driver=FreeTDS;Server=h;Port=5432;Database={ c;a{t}}x'\\ };UID={ u;s{e}}r };PWD={p+w;}}};");
  EXPECT_EQ(OdbcConnectionString(ado, "pg", "", BracedValues::OnlyPasswordAndOptions),
            "Driver=pg;Server=h;Port=5432;PWD={p+w;}}};pqopt={dbname=' c;a{t}}x\\'\\\\ ' user=' u;s{e}}r '};");
  // Plain names stay where they were; the password is braced all the same.
  EXPECT_EQ(OdbcConnectionString(ConnectionString::parse("Initial Catalog=c;User ID=u;Password=a%41;Data Source=h"),
                                 "pg", "", BracedValues::OnlyPasswordAndOptions),
            "Driver=pg;Server=h;Database=c;UID=u;PWD={a%41};");
}

TEST(OdbcTest, ThePostgresDriverIsKnownByItsLibrary) {
  EXPECT_TRUE(IsPostgresDriver("/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so"));
  EXPECT_TRUE(IsPostgresDriver("psqlodbcw.so"));
  EXPECT_FALSE(IsPostgresDriver("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"));
  EXPECT_FALSE(IsPostgresDriver("No Such Driver 4711"));
}

TEST(OdbcTest, LoginTimeoutDefaultsToFifteenSeconds) {
  EXPECT_EQ(OdbcLoginTimeout(ConnectionString::parse("Data Source=s")), 15);
  EXPECT_EQ(OdbcLoginTimeout(ConnectionString::parse("Data Source=s;Connect Timeout=4")), 4);
  EXPECT_EQ(OdbcLoginTimeout(ConnectionString::parse("Data Source=s;Connection Timeout=x")), 15);
}

TEST(OdbcTest, DriverComesFromTheMappingOrTheEnvironment) {
  dbtest::ScopedEnv driver(kOdbcDriverVariable, "From Env");
  EXPECT_EQ(OdbcDriverName(""), "From Env");
  EXPECT_EQ(OdbcDriverName("From Mapping"), "From Mapping");
}

TEST(OdbcTest, CallsBindParametersInTheirOrder) {
  const auto param = [](const char* name, Direction d) { return Parameter{name, DataType::Integer, d, 0, Value()}; };
  EXPECT_EQ(OdbcCallText("PD_SP_16", {param("@RETURN_VALUE", Direction::ReturnValue), param("@Type", Direction::Input),
                                      param("@Byte", Direction::Input)}),
            "{? = call PD_SP_16(?,?)}");
  EXPECT_EQ(OdbcCallText("SP_24", {param("@RETURN_VALUE", Direction::ReturnValue), param("@DT", Direction::Output)}),
            "{? = call SP_24(?)}");
  EXPECT_EQ(OdbcCallText("RC_W_1", {param("@a", Direction::Input), param("@b", Direction::Input)}),
            "{call RC_W_1(?,?)}");
  EXPECT_EQ(OdbcCallText("P", {}), "{call P}");
  EXPECT_EQ(OdbcCallText("P", {param("@RETURN_VALUE", Direction::ReturnValue)}), "{? = call P}");
}

TEST(OdbcTest, AMissingDriverIsAnError) {
  dbtest::ScopedEnv mapping(kProviderMappingVariable, "SQLOLEDB.1=odbc:No Such Driver 4711");
  Connection connection;
  connection.setConnectionString("Provider=SQLOLEDB.1;Initial Catalog=c;Data Source=127.0.0.1");
  try {
    connection.open();
    FAIL() << "opened";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()), "");
  }
  EXPECT_FALSE(connection.connected());
}

TEST(OdbcTest, AServerThatIsNotListeningIsAnError) {
  // A loopback port nobody listens on; needs the FreeTDS driver (tdsodbc).
  dbtest::ScopedEnv mapping(kProviderMappingVariable, "SQLOLEDB.1=odbc:FreeTDS");
  Connection connection;
  connection.setConnectionString(
      "Provider=SQLOLEDB.1;User ID=sa;Password=x;Initial Catalog=c;Data Source=127.0.0.1,1;Connect Timeout=2");
  try {
    connection.open();
    FAIL() << "opened";
  } catch (const Error& e) {
    const std::string message = e.what();
    if (message.find("Driver Manager") != std::string::npos) GTEST_SKIP() << "FreeTDS is not installed: " << message;
    EXPECT_NE(message, "");
  }
  EXPECT_FALSE(connection.connected());
}

}  // namespace
}  // namespace db
