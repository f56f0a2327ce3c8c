// The in-memory property bag.
#include "platform/property_bag.h"

std::optional<PropertyValue> MemoryPropertyBag::read(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void MemoryPropertyBag::write(const std::string& name, const PropertyValue& value) {
  values_[name] = value;
}
