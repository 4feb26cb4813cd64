#pragma once
// A small JSON writer for the command line's --json output: one document, written as it goes.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

// The text as a JSON string literal, quotes included. Bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The member name of the next value inside an object.
    void Key(std::string_view name);
    void String(std::string_view value);
    void Number(std::int64_t value);
    void Bool(bool value);

    // Shorthands for one member.
    void Member(std::string_view name, std::string_view value) {
        Key(name);
        String(value);
    }
    void Member(std::string_view name, const char* value) { Member(name, std::string_view(value)); }
    void Member(std::string_view name, std::int64_t value) {
        Key(name);
        Number(value);
    }
    void Member(std::string_view name, int value) { Member(name, std::int64_t{value}); }
    void Member(std::string_view name, bool value) {
        Key(name);
        Bool(value);
    }

  private:
    void BeforeValue();

    std::ostream& out_;
    std::vector<bool> first_;  // per open container: no value written yet
    bool afterKey_ = false;
};

}  // namespace gw
