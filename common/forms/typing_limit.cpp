#include "common/forms/typing_limit.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace forms {
namespace {

class TypingLimit : public QValidator {
 public:
  TypingLimit(QLineEdit& edit, int limit) : QValidator(&edit), edit_(edit), limit_(limit), text_(edit.text()) {
    // Validation sees the edited text; the text before the edit is kept here.
    connect(&edit, &QLineEdit::textChanged, this, [this] { text_ = edit_.text(); });
  }

  State validate(QString& input, int& cursor) const override {
    // setText() clears the modified flag before it validates: a text that
    // the program sets is taken whole.
    if (!edit_.isModified()) return Acceptable;
    const qsizetype room = std::max<qsizetype>(limit_, text_.size());
    if (input.size() <= room) return Acceptable;
    // What the edit put in ends at the cursor and begins after what the old
    // and the new text share; as a maximum length does, its first
    // characters are kept as far as they fit.
    qsizetype start = 0;
    while (start < cursor && start < text_.size() && input[start] == text_[start]) ++start;
    const qsizetype others = input.size() - (cursor - start);
    qsizetype fits = room - others;
    if (fits > 0 && input[start + fits - 1].isHighSurrogate()) --fits;  // never half a character
    if (fits <= 0) return Invalid;
    input = input.left(start + fits) + input.mid(cursor);
    cursor = static_cast<int>(start + fits);
    return Acceptable;
  }

 private:
  QLineEdit& edit_;
  qsizetype limit_;
  QString text_;
};

}  // namespace

void LimitTyping(QLineEdit& edit, int limit) { edit.setValidator(new TypingLimit(edit, limit)); }

}  // namespace forms
