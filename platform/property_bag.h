// The host's property bag: named parameter values handed to the control at
// load and written back when its properties are saved.
#pragma once

#include <map>
#include <optional>
#include <string>

// One value as the host holds it. A string may be null (a string-typed value
// without text); anything that is not a string is kept as a number.
struct PropertyValue {
  enum class Kind { String, NullString, Integer };
  Kind kind = Kind::String;
  std::string text;
  long number = 0;

  static PropertyValue string(std::string s) { return {Kind::String, std::move(s), 0}; }
  static PropertyValue null_string() { return {Kind::NullString, {}, 0}; }
  static PropertyValue integer(long n) { return {Kind::Integer, {}, n}; }
};

class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // The named value, or nothing when the bag has no such name.
  virtual std::optional<PropertyValue> read(const std::string& name) const = 0;
  virtual void write(const std::string& name, const PropertyValue& value) = 0;
};

// A bag held in memory, as the command-line host and the tests fill it.
class MemoryPropertyBag : public PropertyBag {
 public:
  std::optional<PropertyValue> read(const std::string& name) const override;
  void write(const std::string& name, const PropertyValue& value) override;
  void set(const std::string& name, const std::string& text) { write(name, PropertyValue::string(text)); }
  void erase(const std::string& name) { values_.erase(name); }
  const std::map<std::string, PropertyValue>& values() const { return values_; }

 private:
  std::map<std::string, PropertyValue> values_;
};
