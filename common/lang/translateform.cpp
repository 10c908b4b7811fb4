#include "common/lang/translateform.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <span>
#include <variant>

#include "common/strings.h"

namespace lang {
namespace {

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The kinds of property a form line can set.
using IntSetter = void (*)(QObject&, int);
using TextSetter = void (*)(QObject&, const QString&);
using ListSetter = void (*)(QObject&, const QStringList&);
struct FontSetter {};  // velklog2's "FontName" and "FontSize" lines
using Setter = std::variant<IntSetter, TextSetter, ListSetter, FontSetter>;

struct Alias {
  std::string_view property;
  Setter setter;
};

struct WidgetKind {
  bool (*matches)(const QObject&);
  std::span<const Alias> aliases;
};

template <class T>
bool isA(const QObject& object) {
  return qobject_cast<const T*>(&object) != nullptr;
}

template <class T>
T& as(QObject& object) {
  return static_cast<T&>(object);
}

QTabWidget* owningTabWidget(const QWidget& page) {
  const QWidget* stack = page.parentWidget();
  auto* tabs = qobject_cast<QTabWidget*>(stack != nullptr ? stack->parentWidget() : nullptr);
  return tabs != nullptr && tabs->indexOf(&page) >= 0 ? tabs : nullptr;
}

// The class of the component on the original form: as it was set, else the
// one that the widget kind stands for.
std::string componentClassOf(const QObject& component) {
  const QVariant stored = component.property(kComponentClassProperty);
  if (stored.isValid()) return stored.toString().toStdString();
  if (isA<QComboBox>(component)) return "TComboBox";
  if (isA<QListWidget>(component)) return "TListBox";
  if (isA<QPlainTextEdit>(component) || isA<QTextEdit>(component)) return "TMemo";
  return {};
}

bool isRadioGroup(const QObject& object) { return isA<QGroupBox>(object) && componentClassOf(object) == "TRadioGroup"; }

// The original classes with a published string list, and its property. No
// other component takes a list from a form line: a list view's items, say,
// are no string list, so such a line does nothing.
struct StringListProperty {
  std::string_view componentClass;
  std::string_view property;
};
constexpr StringListProperty kStringLists[] = {
    {"TListBox", "Items"}, {"TComboBox", "Items"}, {"TMemo", "Lines"}, {"TRadioGroup", "Items"}};

bool hasStringList(const QObject& component, std::string_view property) {
  const std::string componentClass = componentClassOf(component);
  return std::any_of(std::begin(kStringLists), std::end(kStringLists), [&](const StringListProperty& list) {
    return list.componentClass == componentClass && common::SameText(list.property, property);
  });
}

bool isTabPage(const QObject& object) {
  const auto* widget = qobject_cast<const QWidget*>(&object);
  return widget != nullptr && owningTabWidget(*widget) != nullptr;
}

void replaceComboItems(QObject& object, const QStringList& items) {
  auto& combo = as<QComboBox>(object);
  const QSignalBlocker blocker(combo);
  const int index = combo.currentIndex();
  combo.clear();
  combo.addItems(items);
  combo.setCurrentIndex(index < combo.count() ? index : -1);
}

// A radio group's items are its buttons, one per item, in order.
void replaceRadioItems(QObject& object, const QStringList& items) {
  auto& group = as<QGroupBox>(object);
  const QList<QRadioButton*> buttons = group.findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
  for (qsizetype i = items.size(); i < buttons.size(); ++i) delete buttons[i];
  for (qsizetype i = 0; i < items.size(); ++i) {
    if (i < buttons.size()) {
      buttons[i]->setText(items[i]);
      continue;
    }
    auto* button = new QRadioButton(items[i], &group);
    if (group.layout() != nullptr) group.layout()->addWidget(button);
  }
}

void replaceListItems(QObject& object, const QStringList& items) {
  auto& list = as<QListWidget>(object);
  const QSignalBlocker blocker(list);
  list.clear();
  list.addItems(items);
}

const Alias kLabel[] = {
    {"Caption", TextSetter([](QObject& o, const QString& t) { as<QLabel>(o).setText(t); })},
};
const Alias kButton[] = {
    {"Caption", TextSetter([](QObject& o, const QString& t) { as<QAbstractButton>(o).setText(t); })},
};
const Alias kRadioGroup[] = {
    {"Items", ListSetter(replaceRadioItems)},
};
const Alias kGroupBox[] = {
    {"Caption", TextSetter([](QObject& o, const QString& t) { as<QGroupBox>(o).setTitle(t); })},
};
const Alias kMenu[] = {
    {"Caption", TextSetter([](QObject& o, const QString& t) { as<QMenu>(o).setTitle(t); })},
};
const Alias kLineEdit[] = {
    {"Text", TextSetter([](QObject& o, const QString& t) { as<QLineEdit>(o).setText(t); })},
};
const Alias kComboBox[] = {
    {"Text", TextSetter([](QObject& o, const QString& t) { as<QComboBox>(o).setCurrentText(t); })},
    {"Items", ListSetter(replaceComboItems)},
};
const Alias kListWidget[] = {
    {"Items", ListSetter(replaceListItems)},
};
const Alias kPlainTextEdit[] = {
    {"Text", TextSetter([](QObject& o, const QString& t) { as<QPlainTextEdit>(o).setPlainText(t); })},
    {"Lines",
     ListSetter([](QObject& o, const QStringList& l) { as<QPlainTextEdit>(o).setPlainText(l.join(u'\n')); })},
};
const Alias kTextEdit[] = {
    {"Text", TextSetter([](QObject& o, const QString& t) { as<QTextEdit>(o).setPlainText(t); })},
    {"Lines", ListSetter([](QObject& o, const QStringList& l) { as<QTextEdit>(o).setPlainText(l.join(u'\n')); })},
};
const Alias kSlider[] = {
    {"Position", IntSetter([](QObject& o, int v) { as<QAbstractSlider>(o).setValue(v); })},
    {"Min", IntSetter([](QObject& o, int v) { as<QAbstractSlider>(o).setMinimum(v); })},
    {"Max", IntSetter([](QObject& o, int v) { as<QAbstractSlider>(o).setMaximum(v); })},
};
const Alias kProgressBar[] = {
    {"Position", IntSetter([](QObject& o, int v) { as<QProgressBar>(o).setValue(v); })},
    {"Min", IntSetter([](QObject& o, int v) { as<QProgressBar>(o).setMinimum(v); })},
    {"Max", IntSetter([](QObject& o, int v) { as<QProgressBar>(o).setMaximum(v); })},
};
const Alias kStatusBar[] = {
    {"SimpleText", TextSetter([](QObject& o, const QString& t) { as<QStatusBar>(o).showMessage(t); })},
};
const Alias kTabPage[] = {
    {"Caption", TextSetter([](QObject& o, const QString& t) {
       auto& page = as<QWidget>(o);
       QTabWidget* tabs = owningTabWidget(page);
       tabs->setTabText(tabs->indexOf(&page), t);
     })},
};
const Alias kWidget[] = {
    {"Caption", TextSetter([](QObject& o, const QString& t) { as<QWidget>(o).setWindowTitle(t); })},
    {"Hint", TextSetter([](QObject& o, const QString& t) { as<QWidget>(o).setToolTip(t); })},
    {"Left", IntSetter([](QObject& o, int v) { as<QWidget>(o).move(v, as<QWidget>(o).y()); })},
    {"Top", IntSetter([](QObject& o, int v) { as<QWidget>(o).move(as<QWidget>(o).x(), v); })},
    {"Width", IntSetter([](QObject& o, int v) { as<QWidget>(o).resize(v, as<QWidget>(o).height()); })},
    {"Height", IntSetter([](QObject& o, int v) { as<QWidget>(o).resize(as<QWidget>(o).width(), v); })},
    {"ClientWidth", IntSetter([](QObject& o, int v) { as<QWidget>(o).resize(v, as<QWidget>(o).height()); })},
    {"ClientHeight", IntSetter([](QObject& o, int v) { as<QWidget>(o).resize(as<QWidget>(o).width(), v); })},
    {"Font", FontSetter{}},
};
const Alias kAction[] = {
    {"Caption", TextSetter([](QObject& o, const QString& t) { as<QAction>(o).setText(t); })},
    {"Hint", TextSetter([](QObject& o, const QString& t) {
       as<QAction>(o).setToolTip(t);
       as<QAction>(o).setStatusTip(t);
     })},
};

// The most specific kinds first: a kind that lacks a property leaves it to
// the later, more general ones.
const WidgetKind kKinds[] = {
    {isA<QLabel>, kLabel},
    {isA<QAbstractButton>, kButton},
    {isRadioGroup, kRadioGroup},
    {isA<QGroupBox>, kGroupBox},
    {isA<QMenu>, kMenu},
    {isA<QLineEdit>, kLineEdit},
    {isA<QComboBox>, kComboBox},
    {isA<QListWidget>, kListWidget},
    {isA<QPlainTextEdit>, kPlainTextEdit},
    {isA<QTextEdit>, kTextEdit},
    {isA<QAbstractSlider>, kSlider},
    {isA<QProgressBar>, kProgressBar},
    {isA<QStatusBar>, kStatusBar},
    {isTabPage, kTabPage},
    {isA<QWidget>, kWidget},
    {isA<QAction>, kAction},
};

const Setter* findSetter(const QObject& component, std::string_view property) {
  for (const WidgetKind& kind : kKinds) {
    if (!kind.matches(component)) continue;
    for (const Alias& alias : kind.aliases) {
      if (!common::SameText(alias.property, property)) continue;
      if (std::holds_alternative<ListSetter>(alias.setter) && !hasStringList(component, alias.property)) return nullptr;
      return &alias.setter;
    }
  }
  return nullptr;
}

// A font size as the language file gives it: points above 0; below 0 the
// height of the character cell (ascent and descent) in points; 0 the default
// size of a font.
void setFontSize(QFont& font, int size, int dpi) {
  if (size > 0) {
    font.setPointSize(size);
  } else if (size == 0) {
    const QFont defaults;
    if (defaults.pointSizeF() > 0)
      font.setPointSizeF(defaults.pointSizeF());
    else
      font.setPixelSize(defaults.pixelSize());
  } else {
    const int cell = std::max(1, static_cast<int>(std::lround(-static_cast<double>(size) * dpi / 72)));
    font.setPixelSize(cell);
    const int measured = QFontMetrics(font).height();
    if (measured > cell) font.setPixelSize(std::max(1, static_cast<int>(std::lround(double(cell) * cell / measured))));
  }
}

void setFont(QObject& component, std::string_view key, std::string_view value) {
  auto& widget = as<QWidget>(component);
  QFont font = widget.font();
  if (key == "FontName") {
    font.setFamily(toQString(value));
  } else if (key == "FontSize") {
    setFontSize(font, common::StrToInt(value), widget.logicalDpiY());
  } else {
    return;
  }
  widget.setFont(font);
}

bool isForm(const QObject& object) { return object.property(kFormClassProperty).isValid(); }

bool isComponent(const QObject& object) { return isA<QWidget>(object) || isA<QAction>(object); }

QObject* findBelow(const QObject& parent, std::string_view name) {
  for (QObject* child : parent.children()) {
    if (isForm(*child)) continue;
    if (isComponent(*child) && common::SameText(child->objectName().toStdString(), name)) return child;
    if (QObject* found = findBelow(*child, name)) return found;
  }
  return nullptr;
}

}  // namespace

void setComponentClass(QObject& component, std::string_view className) {
  component.setProperty(kComponentClassProperty, toQString(className));
}

void setFormClass(QWidget& form, std::string_view className) {
  form.setProperty(kFormClassProperty, toQString(className));
}

std::string formClass(const QWidget& form) {
  const QVariant stored = form.property(kFormClassProperty);
  if (stored.isValid()) return stored.toString().toStdString();
  const std::string_view name = form.metaObject()->className();
  const std::size_t colons = name.rfind("::");
  return std::string(colons == std::string_view::npos ? name : name.substr(colons + 2));
}

QObject* findComponent(QWidget& form, std::string_view name) {
  return name.empty() ? nullptr : findBelow(form, name);
}

void SetComponentProperty(QObject& component, std::string_view key, std::string_view value, LangVariant variant) {
  const Setter* setter = findSetter(component, mapPropertyKey(variant, key));
  if (setter == nullptr) return;
  if (const auto* set = std::get_if<IntSetter>(setter)) {
    (*set)(component, common::StrToInt(value));
  } else if (const auto* setText = std::get_if<TextSetter>(setter)) {
    (*setText)(component, toQString(value));
  } else if (const auto* setList = std::get_if<ListSetter>(setter)) {
    QStringList items;
    for (const std::string& item : SplitString(value, "||")) items.append(toQString(item));
    (*setList)(component, items);
  } else {
    setFont(component, key, value);
  }
}

bool TranslateForm(QWidget& form, const MultiLangEngine& engine) {
  const auto operations = engine.formOperations(formClass(form));
  if (!operations) return false;
  for (const FormOperation& operation : *operations) {
    QObject* target = operation.component.empty() ? &form : findComponent(form, operation.component);
    if (target != nullptr) SetComponentProperty(*target, operation.key, operation.value, engine.variant());
  }
  return true;
}

}  // namespace lang
