#pragma once
// The embedding API: what a C++ program does with scripting classes, exactly as a script would. Every
// failure reaches the caller as a plexo::HostError (catalog, key, text, arguments).
//
//     plexo::Array node = plexo::construct("app.Node", {model.get()});
//     plexo::setProperty(*node, "name", *plexo::Array(plexo::createString("a")));
//     plexo::Array name = plexo::getProperty(*node, "name");

#include <plexo/ClassSystem.hpp>
#include <plexo/Export.hpp>
#include <plexo/HostArray.hpp>

#include <string>
#include <string_view>
#include <vector>

PLEXO_API_BEGIN

namespace plexo {

using Inputs = std::vector<const HostArray*>;

// A new object of the class, by its full name, from its constructor.
Array construct(std::string_view className, const Inputs& inputs = {});
// Property access on element 0 of an object array. Setting converts the value to the property's
// declared type when a conversion is registered for it; a property without setter raises
// "plexo:class"/"ReadOnlyProperty".
Array getProperty(const HostArray& object, std::string_view name);
void setProperty(const HostArray& object, std::string_view name, const HostArray& value);
// The same with the property found once for many accesses, as a binding caches it per class: the
// property of the class of `object` (null when it has none), valid while classGeneration() stays.
const PlexoPropertyInfo* findProperty(const HostArray& object, std::string_view name);
Array getProperty(const HostArray& object, const PlexoPropertyInfo& property);
void setProperty(const HostArray& object, const PlexoPropertyInfo& property, const HostArray& value);
// Calls a method of the class of the first input (the object) and returns the outputs it produced.
std::vector<Array> call(std::string_view method, const Inputs& inputs, int nOutputs = 1);
// Calls a static method of a class.
std::vector<Array> callStatic(std::string_view className, std::string_view method, const Inputs& inputs = {},
                              int nOutputs = 1);
// A member of an enumeration class, by name.
Array enumerationMember(std::string_view className, std::string_view member);
// Names the class offers (own and inherited; hidden methods left out).
std::vector<std::string> methodNames(std::string_view className);
std::vector<std::string> propertyNames(std::string_view className);

}  // namespace plexo

PLEXO_API_END
