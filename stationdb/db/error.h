#pragma once
// The one exception type of the database layer: whatever a provider, the
// server or a conversion reports. what() is the message to show after a
// language text ("数据库操作错误：" + message).

#include <stdexcept>
#include <string>

namespace db {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace db
