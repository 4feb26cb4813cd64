#include "i18n/components.h"

namespace gw {

const Property* Component::FindProperty(std::string_view name) const {
    for (const auto& p : Properties)
        if (EqualsNoCase(p.Name, name)) return &p;
    return nullptr;
}

Component& ComponentTable::Add(std::string name) {
    components_.push_back(Component{std::move(name), {}});
    return components_.back();
}

const Component* ComponentTable::Find(std::string_view name) const {
    for (const auto& c : components_)
        if (EqualsNoCase(c.Name, name)) return &c;
    return nullptr;
}

std::vector<std::string> SplitListValue(std::string_view value) {
    std::vector<std::string> items;
    for (;;) {
        std::size_t at = value.find("||");
        if (at == std::string_view::npos) {
            items.emplace_back(value);
            return items;
        }
        items.emplace_back(value.substr(0, at));
        value.remove_prefix(at + 2);
    }
}

PropertyError SetPropertyFromText(const Component* component, std::string_view property,
                                  std::string_view value) {
    if (!component) return PropertyError::None;
    const Property* p = component->FindProperty(property);
    if (!p) return PropertyError::None;
    switch (p->Kind) {
        case PropertyKind::Integer: {
            auto n = ParseIntegerText(value);
            if (!n) return PropertyError::NotAnInteger;
            if (p->SetInteger) p->SetInteger(*n);
            break;
        }
        case PropertyKind::String:
            if (p->SetString) p->SetString(std::string(value));
            break;
        case PropertyKind::Strings:
            if (p->SetStrings) p->SetStrings(SplitListValue(value));
            break;
    }
    return PropertyError::None;
}

void ApplyLanguageSection(const ComponentTable& window, std::string_view windowName,
                          const IniFile& language) {
    // Values come back by key, so a repeated key reads its first line's value.
    for (const auto& [rawKey, value] : language.ListValues(windowName)) {
        std::string_view key = TrimControl(rawKey);
        std::string_view componentName, propertyName = key;
        if (std::size_t dot = key.find('.'); dot != std::string_view::npos) {
            componentName = TrimControl(key.substr(0, dot));
            propertyName = TrimControl(key.substr(dot + 1));
        }
        const Component* component = window.Find(componentName);
        if (!component) continue;
        // A conversion error ends the section, without a message.
        if (SetPropertyFromText(component, propertyName, TrimControl(value)) != PropertyError::None)
            return;
    }
}

}  // namespace gw
