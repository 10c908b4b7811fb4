#include "common/forms/typing_limit.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace forms {
namespace {

class TypingLimit : public QValidator {
 public:
  TypingLimit(QLineEdit& edit, int limit) : QValidator(&edit), edit_(edit), limit_(limit), length_(edit.text().size()) {
    // Validation sees the edited text; the length before the edit is kept here.
    connect(&edit, &QLineEdit::textChanged, this, [this] { length_ = edit_.text().size(); });
  }

  State validate(QString& input, int&) const override {
    // setText() clears the modified flag before it validates: a text that
    // the program sets is taken whole.
    if (!edit_.isModified()) return Acceptable;
    return input.size() <= std::max<qsizetype>(limit_, length_) ? Acceptable : Invalid;
  }

 private:
  QLineEdit& edit_;
  qsizetype limit_;
  qsizetype length_;
};

}  // namespace

void LimitTyping(QLineEdit& edit, int limit) { edit.setValidator(new TypingLimit(edit, limit)); }

}  // namespace forms
