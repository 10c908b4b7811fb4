#pragma once
// Form translation on Qt widgets.
//
// Form class: every translatable form carries the class name that its
// language section is named after ("TMainForm", "TOpenDlg", ...) in the
// dynamic property "formClass" (kFormClassProperty), set with setFormClass in
// its constructor. Without it, the form's C++ class name (without namespace)
// is used.
//
// Components: a form line's component is the first object below the form,
// depth first, whose objectName equals the name without regard to ASCII case:
// a QWidget or a QAction (menu items). The search does not enter another form
// (a child object that has its own form class).
//
// Component class: the class of a component on the original form, where the
// widget kind alone does not tell it (a QListWidget that stands for a list
// view, a QGroupBox that is a radio group), in the dynamic property
// "componentClass" (kComponentClassProperty), set with setComponentClass.
// Without it a QComboBox is a TComboBox, a QListWidget a TListBox, a text
// edit a TMemo.
//
// Properties: each widget kind knows the property keys of its counterpart,
// with their kinds:
//   every widget     Caption (window title), Hint (tool tip), Left, Top, Width,
//                    Height, ClientWidth, ClientHeight (integers), Font (font;
//                    velklog2's "FontName" and "FontSize" lines)
//   QLabel, QAbstractButton  Caption          QGroupBox   Caption (title)
//   QMenu            Caption (title)          QAction     Caption, Hint
//   a QTabWidget page  Caption (tab text)     a radio group  Items (list: its buttons)
//   QLineEdit        Text                     QComboBox   Text, Items (list)
//   QListWidget      Items (list)             QPlainTextEdit, QTextEdit  Text, Lines (list)
//   QAbstractSlider, QProgressBar  Position, Min, Max (integers)
//   QStatusBar       SimpleText
// A key that names none of these does nothing. Lists are split at "||"; a
// list is set only where the component class has that string list (TListBox,
// TComboBox and TRadioGroup Items, TMemo Lines), so a list view's Items line
// does nothing.
// Replacing a QComboBox's items keeps its current index when the new list
// still has it.

#include <string>
#include <string_view>

#include "common/lang/engine.h"

class QObject;
class QWidget;

namespace lang {

inline constexpr char kFormClassProperty[] = "formClass";
inline constexpr char kComponentClassProperty[] = "componentClass";

void setFormClass(QWidget& form, std::string_view className);
void setComponentClass(QObject& component, std::string_view className);
std::string formClass(const QWidget& form);

// The form's component of that name, or null.
QObject* findComponent(QWidget& form, std::string_view name);

// Applies the engine's section of the form's class, line by line. False only
// when the engine has loaded nothing. A value that an integer property cannot
// take raises common::ConvertError to the caller (the lines before it stay
// applied).
bool TranslateForm(QWidget& form, const MultiLangEngine& engine = LangEngine());

// Sets one property of a component from a form line's key and value.
void SetComponentProperty(QObject& component, std::string_view key, std::string_view value, LangVariant variant);

}  // namespace lang
