#pragma once
// A maximum length for what the user types, not for what the program shows.
//
// A line edit's own maximum length also cuts every text the program sets, so
// a stored setting or a name chosen from a list would be shown, used and
// stored again cut. LimitTyping refuses only the user's edits that would make
// the text longer than the limit and longer than it was: a longer text that
// the program set stays whole, and the user may shorten it but not lengthen it.
// A paste that would go past the limit puts in its first characters, as far
// as they fit.

class QLineEdit;

namespace forms {

// Installs the limit as the edit's validator (owned by the edit).
void LimitTyping(QLineEdit& edit, int limit);

}  // namespace forms
