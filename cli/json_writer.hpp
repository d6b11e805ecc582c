#pragma once
// A small streaming JSON writer: objects, arrays, strings and integers, with
// the commas placed for the caller. Strings are written as UTF-8; bytes that
// are not valid UTF-8 become U+FFFD so the document always parses.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tav::cli {

std::string JsonEscape(std::string_view text);  // with the surrounding quotes

class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(bool flag);
    JsonWriter& null();

  private:
    void before_value();

    std::ostream& out_;
    std::vector<bool> first_;  // per open container: nothing written in it yet
    bool after_key_ = false;
};

}  // namespace tav::cli
