#pragma once
// Setting a window's component properties by name from a language file section.
// Each window describes its components in a ComponentTable: names, and for each component the
// properties that can be set, with their kind and a setter.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/ini.h"

namespace gw {

enum class PropertyKind {
    Integer,  // positions, sizes, colours: the value is converted to an integer
    String,   // captions, hints, texts, titles, filters, link addresses: set unchanged
    Strings,  // lists: the value is split at every "||"
};

struct Property {
    std::string Name;
    PropertyKind Kind;
    std::function<void(int)> SetInteger;
    std::function<void(const std::string&)> SetString;
    std::function<void(const std::vector<std::string>&)> SetStrings;
};

struct Component {
    std::string Name;  // empty: the window itself
    std::vector<Property> Properties;

    const Property* FindProperty(std::string_view name) const;
};

class ComponentTable {
  public:
    Component& Add(std::string name);
    // Without regard to case; the empty name is the window itself. nullptr when not found.
    const Component* Find(std::string_view name) const;
    const std::vector<Component>& Components() const { return components_; }

  private:
    std::vector<Component> components_;
};

enum class PropertyError {
    None = 0,
    NotAnInteger,  // an integer property got a text that is no integer
};

// Sets one property from text; nothing happens without a component or property of that name.
PropertyError SetPropertyFromText(const Component* component, std::string_view property,
                                  std::string_view value);

// Splits a list value at every "||".
std::vector<std::string> SplitListValue(std::string_view value);

// Applies the section named after the window to its components, line by line in file order.
// A conversion error silently ends the rest of the section.
void ApplyLanguageSection(const ComponentTable& window, std::string_view windowName,
                          const IniFile& language);

}  // namespace gw
