#pragma once
// The buttons a message box offers and the answer it gives, for the forms and
// for the Qt-free flows behind them.

namespace wave {

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

}  // namespace wave
