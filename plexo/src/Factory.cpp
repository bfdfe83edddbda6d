#include <plexo/Factory.hpp>

#include <sstream>
#include <unordered_map>

namespace plexo::factory {

namespace {
std::unordered_map<const void*, std::weak_ptr<ObjectInstance>>& bindings() {
    static auto* map = new std::unordered_map<const void*, std::weak_ptr<ObjectInstance>>;
    return *map;
}
}  // namespace

void raiseInvalidHandle() {
    raiseHostError(kClassCatalog, "InvalidHandle", "the object does not stand for a valid native object");
}

PlexoFactoryClassInfo::~PlexoFactoryClassInfo() = default;

HostArray* BindingRegistry::announce(void* native, ClassId cls, bool& isNew) {
    isNew = false;
    if (!native) return omCreatePLEXOEmpty(cls);
    auto& map = bindings();
    if (auto it = map.find(native); it != map.end())
        if (std::shared_ptr<ObjectInstance> instance = it->second.lock()) {
            auto* out = new HostArray(ArrayKind::Object, 1, 1);
            out->setClassId(instance->classId());
            out->instances().push_back(std::move(instance));
            return out;
        }
    Array out(createUnboundObject(cls));
    out->instances()[0]->bind(native);
    map[native] = out->instances()[0];
    isNew = true;
    return out.release();
}

void BindingRegistry::announceForConstructor(void* native, ClassId cls, HostArray& object, bool replace) {
    if (object.kind() != ArrayKind::Object || object.instances().size() != 1)
        raiseHostError(kHostCatalog, "ConstructionFailed", "no object under construction");
    object.setClassId(cls);
    ObjectInstance& instance = *object.instances()[0];
    auto& map = bindings();
    if (!replace && map.count(native))
        raiseHostError(kHostCatalog, "ConstructionFailed", "the native object is bound");
    instance.bind(native);
    map[native] = object.instances()[0];
}

bool BindingRegistry::remove(void* native) {
    return bindings().erase(native) > 0;
}

bool BindingRegistry::isBound(const void* native) {
    auto& map = bindings();
    auto it = map.find(native);
    return it != map.end() && !it->second.expired();
}

std::size_t BindingRegistry::size() {
    return bindings().size();
}

void BindingRegistry::clear() {
    bindings().clear();
}

void createSignatureImpl(Signature& signature, bool variableInputs, const std::string& argumentNames,
                         std::vector<std::string> outputs, std::vector<std::string> inputs,
                         std::size_t requiredInputs) {
    signature.argumentNames.clear();
    std::istringstream names(argumentNames);
    for (std::string name; names >> name;) signature.argumentNames.push_back(name);
    signature.outputs = std::move(outputs);
    signature.inputs = std::move(inputs);
    signature.variableInputs = variableInputs && signature.inputs.empty();
    if (requiredInputs != static_cast<std::size_t>(-1)) {
        signature.requiredInputs = std::min(requiredInputs, signature.inputs.size());
        return;
    }
    // Inputs named "opt_..." are optional, and so is every input after the first optional one.
    signature.requiredInputs = signature.inputs.size();
    for (std::size_t i = 0; i < signature.argumentNames.size() && i < signature.inputs.size(); ++i)
        if (signature.argumentNames[i].rfind("opt_", 0) == 0) {
            signature.requiredInputs = i;
            break;
        }
}

PlexoMethod::~PlexoMethod() = default;

void PlexoMethod::invoke(int& nOutputs, HostArray** outputs, int nInputs, const HostArray* const* inputs) {
    if (!m_body) raiseHostError(kHostCatalog, "NotImplemented", m_name + " has no body");
    m_body(nOutputs, outputs, nInputs, inputs);
}

PropertyImpl::PropertyImpl(std::string name, PropertyGetter* getter, PropertySetter* setter,
                           std::uint32_t attributes)
    : m_name(std::move(name)), m_getter(getter), m_setter(setter), m_attributes(attributes) {}

PropertyImpl::~PropertyImpl() = default;

void PropertyImpl::set(void* native, const HostArray& value) const {
    if (!m_setter)
        raiseHostError(kHostCatalog, "ReadOnlyProperty", "the property '" + m_name + "' cannot be set");
    m_setter->set(native, value);
}

std::u16string extractString(const HostArray& array) {
    switch (array.kind()) {
        case ArrayKind::Char:
            return array.chars();
        case ArrayKind::String:
            if (array.numel() == 1) return array.strings()[0];
            break;
        case ArrayKind::Cell:
            if (array.numel() == 1 && array.getCell(0)) return extractString(*array.getCell(0));
            break;
        default:
            break;
    }
    raiseHostError(kHostCatalog, "NotText", "a " + getClassName(array) + " value is not text");
}

void initStringDataTypes() {
    getDataType("PlexoFactoryString scalar");
    getDataType("PlexoFactoryString");
    getDataType("char");
    getDataType("string scalar");
}

}  // namespace plexo::factory
